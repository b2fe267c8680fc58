// SPDX-License-Identifier: GPL-3.0-or-later
#include "TestSupport.h"
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
    return TextReaderProcess(program, u"eng"_s, &never, limits);
}

} // namespace

TEST(Recognition, ReadsTheWordsOfDrawnScreensAndSkipsWhatItCannotRead)
{
    const QStringList error{u"Error: connection refused on port 8080"_s,
                            u"Order number 4711 shipped today"_s};
    const QStringList slide{u"Quarterly revenue chart"_s, u"Meeting notes about budget"_s};
    const Picture pictures[] = {
        {"DejaVu Sans", 13, false, 1, error},  {"DejaVu Sans", 13, true, 1, error},
        {"DejaVu Serif", 16, false, 1, slide}, {"DejaVu Sans Mono", 14, true, 1, error},
        {"DejaVu Sans", 13, false, 2, slide},  {"DejaVu Sans Mono", 12, true, 2, error},
    };
    const test::ScopedHome home;
    TextReaderProcess process = reader(TextManager::readerProgram());
    for (const Picture& picture : pictures) {
        SCOPED_TRACE(testing::Message() << picture.font << ' ' << picture.pixelSize << "px "
                                        << (picture.dark ? "dark " : "light ") << picture.scale);
        const QString path = home.path() + u"/screen.png"_s;
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

    // What it cannot read is skipped, and the next picture is read all the same.
    const auto read = [&](const char* name, const QByteArray& bytes) {
        const QString path = home.path() + u'/' + QLatin1String(name);
        EXPECT_TRUE(test::writeFile(path, bytes));
        return process.read(path);
    };
    const ReadResult none = read("blank.png", test::encodeImage(test::makeTestImage(640, 400)));
    EXPECT_EQ(none.status, ReadResult::Read);
    EXPECT_TRUE(none.words.isEmpty());
    const QByteArray png = test::encodeImage(draw({"DejaVu Sans", 20, false, 1, {u"Hello"_s}}));
    EXPECT_EQ(read("truncated.png", png.left(png.size() / 3)).status, ReadResult::Unreadable);
    EXPECT_EQ(read("notes.png", "just some words").status, ReadResult::Unreadable);
    EXPECT_EQ(readingText(read("good.png", png).words), u"Hello"_s);
}

TEST(Recognition, AHelperThatDiesOrHangsCostsOnePicture)
{
    const test::ScopedHome home;
    // Dies on a picture named crash, never answers on one named hang, reads the rest.
    const QString helper = home.path() + u"/helper"_s;
    ASSERT_TRUE(test::writeScript(helper,
                                  "echo ready\nwhile read -r p; do\n"
                                  "case \"$p\" in *crash*) exit 3;; *hang*) sleep 30;; esac\n"
                                  "echo 'ok 1 1'; echo '0 1 1 5 5 fine'; echo .\ndone\n"));
    TextReaderProcess process = reader(helper, {std::chrono::seconds(5), std::chrono::seconds(1)});
    const std::pair<const char*, ReadResult::Status> rows[] = {
        {"crash.png", ReadResult::Unreadable},
        {"a.png", ReadResult::Read},
        {"hang.png", ReadResult::Unreadable},
        {"b.png", ReadResult::Read}};
    for (const auto& [name, status] : rows)
        EXPECT_EQ(process.read(home.path() + u'/' + QLatin1String(name)).status, status) << name;

    // Time stopped by a pause (a capture) is not a hang.
    text::HelperHandle handle;
    TextReaderProcess paused(helper, u"eng"_s, nullptr,
                             {std::chrono::seconds(5), std::chrono::seconds(1)}, &handle);
    handle.pause(true);
    std::thread resume([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        handle.pause(false);
    });
    EXPECT_EQ(paused.read(home.path() + u"/c.png"_s).status, ReadResult::Read);
    resume.join();

    // A helper that cannot start marks nothing: the pictures wait for one that can.
    TextReaderProcess missing = reader(home.path() + u"/nothing-here"_s);
    EXPECT_EQ(missing.read(home.path() + u"/a.png"_s).status, ReadResult::Unavailable);
}
