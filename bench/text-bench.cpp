// SPDX-License-Identifier: GPL-3.0-or-later
// The figures bench/text.sh needs that no command gives: screenshot-like pictures with and
// without text, the reader's time per picture through Glimra's own helper process, and an
// index filled through its own writer.
//
//   glimra-bench-text make DIR N      N 1920x1080 pictures, one in four without text
//   glimra-bench-text tiny DIR N      N small pictures with screenshot names (a big library)
//   glimra-bench-text read HELPER DIR per picture: name, wall ms, helper processor ms, words
//   glimra-bench-text fill INDEX DIR  a text of 150 words for every picture of DIR

#include "text/RecognisedText.h"
#include "text/TextIndex.h"
#include "text/TextReaderProcess.h"
#include "text/TextWorker.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QRandomGenerator>

#include <cstdio>
#include <sched.h>
#include <unistd.h>

using namespace glimra::text;

namespace {

const char* const kWords[] = {
    "error",   "connection", "refused",  "invoice", "order",   "number",  "shipped", "server",
    "request", "timeout",    "quarterly", "revenue", "chart",   "meeting", "budget",  "release",
    "build",   "failed",     "passed",   "account", "payment", "total",   "customer", "report",
    "window",  "settings",   "network",  "update",  "install", "package", "version", "memory",
    "deploy",  "staging",    "pipeline", "warning", "database", "query",  "index",   "search"};

// Mostly made-up words from a vocabulary of thousands, with a few common ones among them:
// a search for two of those finds about a quarter of the texts.
QString words(QRandomGenerator& random, int count)
{
    QStringList out;
    for (int i = 0; i < count; ++i) {
        if (random.bounded(5) == 0) {
            out.append(QString::fromLatin1(kWords[random.bounded(int(std::size(kWords)))]));
            continue;
        }
        QRandomGenerator word(quint32(random.bounded(5000)));
        QString made;
        for (int letter = 0, n = 3 + word.bounded(7); letter < n; ++letter)
            made += QLatin1Char(char('a' + word.bounded(26)));
        out.append(made);
    }
    return out.join(QLatin1Char(' '));
}

QString screenshotName(const QString& dir, int i)
{
    const QDateTime at = QDateTime(QDate(2026, 1, 1), QTime(9, 0)).addSecs(qint64(i) * 61);
    return dir + QStringLiteral("/Glimra_") + at.toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss")) +
           QStringLiteral(".png");
}

// A terminal, a document or an editor full of lines; every fourth picture a photo-like
// gradient with shapes and no text at all.
QImage screen(int i)
{
    QRandomGenerator random(quint32(i + 1));
    QImage image(1920, 1080, QImage::Format_RGB32);
    QPainter painter(&image);
    if (i % 4 == 3) {
        QLinearGradient sky(0, 0, 1920, 1080);
        sky.setColorAt(0, QColor::fromHsv(random.bounded(360), 120, 200));
        sky.setColorAt(1, QColor::fromHsv(random.bounded(360), 160, 90));
        painter.fillRect(image.rect(), sky);
        for (int s = 0; s < 30; ++s) {
            painter.setBrush(QColor::fromHsv(random.bounded(360), 140, 180, 160));
            painter.drawEllipse(QPoint(random.bounded(1920), random.bounded(1080)), 40 + s * 3,
                                30 + s * 2);
        }
        return image;
    }
    const bool dark = i % 4 != 1;
    image.fill(dark ? QColor(0x1e, 0x1e, 0x2e) : QColor(Qt::white));
    painter.fillRect(0, 0, 1920, 32, dark ? QColor(0x31, 0x32, 0x44) : QColor(0xe8, 0xea, 0xee));
    QFont font(QString::fromLatin1(i % 4 == 2 ? "DejaVu Sans Mono" : "DejaVu Sans"));
    font.setPixelSize(13 + i % 3);
    painter.setFont(font);
    painter.setPen(dark ? QColor(0xcd, 0xd6, 0xf4) : QColor(0x20, 0x20, 0x20));
    const int lineHeight = font.pixelSize() * 3 / 2 + 2;
    const int columns = i % 4 == 1 ? 1 : 2;
    for (int column = 0; column < columns; ++column) {
        for (int y = 60; y < 1050; y += lineHeight)
            painter.drawText(24 + column * 960, y, words(random, 6 + random.bounded(6)));
    }
    return image;
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() == 3 && (args[0] == QLatin1String("make") || args[0] == QLatin1String("tiny"))) {
        QDir().mkpath(args[1]);
        const bool tiny = args[0] == QLatin1String("tiny");
        for (int i = 0; i < args[2].toInt(); ++i) {
            QImage image = tiny ? QImage(64, 36, QImage::Format_RGB32) : screen(i);
            if (tiny)
                image.fill(QColor::fromHsv(i % 360, 100, 200));
            if (!image.save(screenshotName(args[1], i)))
                return 1;
        }
        return 0;
    }
    if (args.size() == 3 && args[0] == QLatin1String("read")) {
        const std::atomic<bool> never{false};
        TextReaderProcess reader(args[1], QStringLiteral("eng"), &never, {});
        const QStringList names = QDir(args[2]).entryList({QStringLiteral("*.png")}, QDir::Files);
        reader.read(args[2] + QLatin1Char('/') + names.first()); // starts the helper
        // The helper puts itself at idle priority, where a busy machine starves it; its
        // processor time is what is compared, but the run should end today.
        const sched_param normal{};
        ::sched_setscheduler(reader.pid(), SCHED_OTHER, &normal);
        for (const QString& name : names) {
            const auto cpu = [&] {
                QFile stat(QStringLiteral("/proc/%1/stat").arg(reader.pid()));
                stat.open(QIODevice::ReadOnly);
                const QByteArray line = stat.readAll();
                const QList<QByteArray> f = line.mid(line.lastIndexOf(')') + 2).split(' ');
                return (f.value(11).toLongLong() + f.value(12).toLongLong()) * 1000 /
                       sysconf(_SC_CLK_TCK);
            };
            const qint64 before = cpu();
            QElapsedTimer clock;
            clock.start();
            const ReadResult result = reader.read(args[2] + QLatin1Char('/') + name);
            std::printf("%s %lld %lld %lld\n", qPrintable(name), clock.elapsed(), cpu() - before,
                        static_cast<long long>(result.words.size()));
        }
        return 0;
    }
    if (args.size() == 3 && args[0] == QLatin1String("fill")) {
        TextIndex index(args[1]);
        index.setLanguage(QStringLiteral("eng"));
        QRandomGenerator random(7);
        const QDir dir(args[2]);
        for (const QString& name : dir.entryList({QStringLiteral("*.png")}, QDir::Files)) {
            QString text;
            for (int line = 0; line < 15; ++line)
                text += words(random, 10) + QLatin1Char('\n');
            if (!index.store(*keyOf(dir.filePath(name)), {true, text.trimmed(), {}, {}}))
                return 1;
        }
        return 0;
    }
    std::fputs("usage: glimra-bench-text make|tiny DIR N | read HELPER DIR | fill INDEX DIR\n",
               stderr);
    return 2;
}
