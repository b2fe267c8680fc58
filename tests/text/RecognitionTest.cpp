// SPDX-License-Identifier: GPL-3.0-or-later
#include "TestSupport.h"
#include "editor/EditedFile.h"
#include "editor/MarkRenderer.h"
#include "text/TextManager.h"
#include "text/TextReaderProcess.h"

#include <QFont>
#include <QPainter>

#include <thread>

using namespace glimra::text;

namespace {

struct Picture {
    const char* font;
    int pixelSize;
    bool dark;
    int scale;
    QStringList lines;
};

// A window-like picture: lines of text in one font, at a device pixel ratio, in a light or a
// dark theme, with a coloured bar above them as screens have.
QImage draw(const Picture& p)
{
    QImage image(900 * p.scale, 260 * p.scale, QImage::Format_RGB32);
    image.fill(p.dark ? QColor(0x1e, 0x1e, 0x1e) : QColor(Qt::white));
    QPainter painter(&image);
    painter.scale(p.scale, p.scale);
    painter.fillRect(0, 0, 900, 28, p.dark ? QColor(0x33, 0x33, 0x44) : QColor(0xdd, 0xe4, 0xee));
    QFont font(QString::fromLatin1(p.font));
    font.setPixelSize(p.pixelSize);
    painter.setFont(font);
    painter.setPen(p.dark ? QColor(0xd4, 0xd4, 0xd4) : QColor(0x20, 0x20, 0x20));
    int y = 70;
    for (const QString& line : p.lines) {
        painter.drawText(24, y, line);
        y += p.pixelSize * 2;
    }
    return image;
}

TextReaderProcess reader(const QString& program, TextReaderProcess::Limits limits = {})
{
    static const std::atomic<bool> never{false};
    return TextReaderProcess(program, QStringLiteral("eng"), &never, limits);
}

} // namespace

TEST(Recognition, ReadsTheWordsOfDrawnScreens)
{
    const QStringList error{QStringLiteral("Error: connection refused on port 8080"),
                            QStringLiteral("Order number 4711 shipped today")};
    const QStringList slide{QStringLiteral("Quarterly revenue chart"),
                            QStringLiteral("Meeting notes about budget")};
    const Picture pictures[] = {
        {"DejaVu Sans", 13, false, 1, error},  {"DejaVu Sans", 13, true, 1, error},
        {"DejaVu Serif", 16, false, 1, slide}, {"DejaVu Sans Mono", 14, true, 1, error},
        {"DejaVu Sans", 13, false, 2, slide},  {"DejaVu Sans Mono", 12, true, 2, error},
    };
    const test::ScopedHome home;
    TextReaderProcess process = reader(TextManager::readerProgram());
    for (const Picture& picture : pictures) {
        SCOPED_TRACE(QStringLiteral("%1 %2px %3 %4x")
                         .arg(QString::fromLatin1(picture.font))
                         .arg(picture.pixelSize)
                         .arg(QLatin1String(picture.dark ? "dark" : "light"))
                         .arg(picture.scale)
                         .toStdString());
        const QString path = home.path() + QStringLiteral("/screen.png");
        ASSERT_TRUE(test::writeImage(path, draw(picture)));
        const ReadResult result = process.read(path);
        ASSERT_EQ(result.status, ReadResult::Read) << result.reason.toStdString();
        const QString text = readingText(result.words);
        for (const QString& line : picture.lines) {
            for (const QString& word : line.split(QLatin1Char(' ')))
                EXPECT_TRUE(text.contains(word, Qt::CaseInsensitive)) << word.toStdString();
        }
        // Lines come back as lines.
        EXPECT_EQ(text.count(QLatin1Char('\n')), picture.lines.size() - 1) << text.toStdString();
    }
}

TEST(Recognition, SkipsWhatItCannotReadAndGoesOn)
{
    const test::ScopedHome home;
    const QString blank = home.path() + QStringLiteral("/blank.png");
    const QString truncated = home.path() + QStringLiteral("/truncated.png");
    const QString notPicture = home.path() + QStringLiteral("/notes.png");
    const QString good = home.path() + QStringLiteral("/good.png");
    ASSERT_TRUE(test::writeImage(blank, test::makeTestImage(640, 400)));
    const QByteArray png =
        test::encodeImage(draw({"DejaVu Sans", 20, false, 1, {QStringLiteral("Hello")}}));
    ASSERT_TRUE(test::writeFile(truncated, png.left(png.size() / 3)));
    ASSERT_TRUE(test::writeFile(notPicture, "just some words"));
    ASSERT_TRUE(test::writeFile(good, png));

    TextReaderProcess process = reader(TextManager::readerProgram());
    const ReadResult none = process.read(blank);
    EXPECT_EQ(none.status, ReadResult::Read);
    EXPECT_TRUE(none.words.isEmpty());
    EXPECT_EQ(process.read(truncated).status, ReadResult::Unreadable);
    EXPECT_EQ(process.read(notPicture).status, ReadResult::Unreadable);
    EXPECT_EQ(readingText(process.read(good).words), QStringLiteral("Hello"));
}

TEST(Recognition, AHelperThatDiesOrHangsCostsOnePicture)
{
    const test::ScopedHome home;
    // Dies on a picture named crash, never answers on one named hang, reads the rest.
    const QString helper = home.path() + QStringLiteral("/helper");
    ASSERT_TRUE(test::writeFile(helper, "#!/bin/sh\necho ready\nwhile read -r p; do\n"
                                        "case \"$p\" in *crash*) exit 3;; *hang*) sleep 30;; esac\n"
                                        "echo 'ok 1 1'; echo '0 1 1 5 5 fine'; echo .\ndone\n"));
    QFile::setPermissions(helper, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    TextReaderProcess process = reader(helper, {std::chrono::seconds(5), std::chrono::seconds(1)});
    const struct {
        const char* name;
        ReadResult::Status status;
    } rows[] = {{"crash.png", ReadResult::Unreadable},
                {"a.png", ReadResult::Read},
                {"hang.png", ReadResult::Unreadable},
                {"b.png", ReadResult::Read}};
    for (const auto& row : rows)
        EXPECT_EQ(process.read(home.path() + QLatin1Char('/') + QLatin1String(row.name)).status,
                  row.status)
            << row.name;

    // Time stopped by a pause (a capture) is not a hang.
    text::HelperHandle handle;
    TextReaderProcess paused(helper, QStringLiteral("eng"), nullptr,
                             {std::chrono::seconds(5), std::chrono::seconds(1)}, &handle);
    handle.pause(true);
    std::thread resume([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        handle.pause(false);
    });
    EXPECT_EQ(paused.read(home.path() + QStringLiteral("/c.png")).status, ReadResult::Read);
    resume.join();

    // A helper that cannot start marks nothing: the pictures wait for one that can.
    TextReaderProcess missing = reader(home.path() + QStringLiteral("/nothing-here"));
    EXPECT_EQ(missing.read(home.path() + QStringLiteral("/a.png")).status, ReadResult::Unavailable);
}

TEST(Recognition, ReadsNothingOfARedactedLine)
{
    const test::ScopedHome home;
    const QImage screen =
        draw({"DejaVu Sans",
              16,
              false,
              1,
              {QStringLiteral("Deployment finished"), QStringLiteral("Secret token 9f8e7d6c")}});
    editor::MarkDocument document;
    editor::Mark cover;
    cover.kind = editor::MarkKind::Redact;
    cover.points = {QPointF(10, 80), QPointF(600, 112)}; // the second line, at y 102
    document.marks = {cover};
    const QString path = home.path() + QStringLiteral("/redacted.png");
    ASSERT_TRUE(
        test::writeFile(path, editor::encodePicture(editor::renderDocument(screen, document, 1),
                                                    QStringLiteral("png"))));
    const QString text = readingText(reader(TextManager::readerProgram()).read(path).words);
    EXPECT_TRUE(text.contains(QStringLiteral("Deployment"))) << text.toStdString();
    for (const char* secret : {"Secret", "token", "9f8e"})
        EXPECT_FALSE(text.contains(QLatin1String(secret), Qt::CaseInsensitive))
            << text.toStdString();
}
