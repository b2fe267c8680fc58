// SPDX-License-Identifier: GPL-3.0-or-later
// Writes N screenshot-like 1920x1080 PNGs (window chrome, text, a photo) for the library
// benchmark. Each picture differs, so no decoder cache or file system trick flatters a run.
#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QRandomGenerator>
#include <QtConcurrent/QtConcurrentMap>

#include <cstdio>

static QImage photo(QRandomGenerator& rng, QSize size)
{
    // Smooth colour fields from a tiny random image, with sensor-like noise on top.
    QImage seed(12, 7, QImage::Format_RGB32);
    for (int y = 0; y < seed.height(); ++y)
        for (int x = 0; x < seed.width(); ++x)
            seed.setPixel(x, y, qRgb(rng.bounded(256), rng.bounded(256), rng.bounded(256)));
    QImage image = seed.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const int n = rng.bounded(24) - 12;
            const QRgb p = line[x];
            line[x] = qRgb(qBound(0, qRed(p) + n, 255), qBound(0, qGreen(p) + n, 255),
                           qBound(0, qBlue(p) + n, 255));
        }
    }
    return image;
}

static QImage screenshot(quint32 seed)
{
    QRandomGenerator rng(seed);
    QImage image(1920, 1080, QImage::Format_RGB32);
    image.fill(QColor::fromHsv(rng.bounded(360), 30, 235));
    QPainter p(&image);
    p.fillRect(0, 0, 1920, 28, QColor(40, 40, 48));
    const QRect window(rng.bounded(40, 200), rng.bounded(60, 120), 1100, 860);
    p.fillRect(window, Qt::white);
    p.fillRect(window.x(), window.y(), window.width(), 34, QColor(225, 225, 230));
    p.setPen(QColor(30, 30, 30));
    static const char* const words[] = {"capture", "library", "window", "the", "screen", "file",
                                        "sync", "account", "folder", "of", "and", "image"};
    for (int line = 0; line < 38; ++line) {
        QString text;
        for (int w = 0; w < 14; ++w)
            text += QString::fromLatin1(words[rng.bounded(12)]) + QLatin1Char(' ');
        p.drawText(window.x() + 20, window.y() + 60 + line * 21, text);
    }
    const QSize photoSize(rng.bounded(700, 900), rng.bounded(500, 700));
    p.drawImage(QPoint(1920 - photoSize.width() - 40, 1080 - photoSize.height() - 40),
                photo(rng, photoSize));
    return image;
}

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s FOLDER COUNT\n", argv[0]);
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    const int count = QString::fromLatin1(argv[2]).toInt();
    QDir().mkpath(folder);
    QList<int> indexes;
    for (int i = 0; i < count; ++i)
        indexes.append(i);
    QtConcurrent::blockingMap(indexes, [&](int i) {
        const QString name = QStringLiteral("%1/Glimra_2026-01-01_00-00-00_%2.png").arg(folder).arg(i + 2);
        // A light compression level: making two thousand takes minutes, not a quarter hour,
        // and the files stay about the size of real screenshots.
        screenshot(static_cast<quint32>(i) * 7919u + 17u).save(name, "PNG", 80);
    });
    return 0;
}
