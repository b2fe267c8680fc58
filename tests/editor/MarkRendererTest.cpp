// SPDX-License-Identifier: GPL-3.0-or-later
#include "editor/MarkRenderer.h"
#include "editor/EditedFile.h"
#include "editor/MarkHistory.h"

#include <QtEndian>

#include <gtest/gtest.h>

using namespace glimra::editor;
using namespace Qt::StringLiterals;

namespace {

// A picture whose every column differs, so a mark that leaves a pixel alone is told from
// one that paints it in a similar colour, at 1x and at twice the size for a 2x screen.
QImage gradient(qreal scale)
{
    QImage image(int(200 * scale), int(120 * scale), QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, qRgb(100 + int(x / scale) / 2, 160, 200 - int(y / scale)));
    return image;
}

Mark mark(MarkKind kind, QList<QPointF> points, QColor color = Qt::red, qreal width = 4,
          QString text = {}, qreal fontSize = 20)
{
    return {kind, std::move(points), color, width, std::move(text), fontSize};
}

} // namespace

TEST(MarkRenderer, EachMarkPaintsItsPixelsAndLeavesTheRestAtOneAndTwoTimes)
{
    const QRgb red = qRgb(255, 0, 0);
    // What is drawn; a pixel; its colour then (none: the picture's own pixel stays).
    const std::tuple<const char*, Mark, QPointF, std::optional<QRgb>> cases[] = {
        {"rectangle edge", mark(MarkKind::Rectangle, {{20, 20}, {100, 80}}), {20, 50}, red},
        {"rectangle inside", mark(MarkKind::Rectangle, {{20, 20}, {100, 80}}), {60, 50}, {}},
        {"filled rectangle", mark(MarkKind::FilledRectangle, {{20, 20}, {100, 80}}), {60, 50}, red},
        {"line", mark(MarkKind::Line, {{10, 10}, {150, 10}}), {80, 10}, red},
        {"beside the line", mark(MarkKind::Line, {{10, 10}, {150, 10}}), {80, 16}, {}},
        {"arrow shaft", mark(MarkKind::Arrow, {{10, 100}, {150, 100}}), {50, 100}, red},
        {"arrow head", mark(MarkKind::Arrow, {{10, 100}, {150, 100}}), {140, 104}, red},
        {"past the arrow", mark(MarkKind::Arrow, {{10, 100}, {150, 100}}), {156, 100}, {}},
        {"ellipse top", mark(MarkKind::Ellipse, {{20, 20}, {100, 80}}), {60, 20}, red},
        {"ellipse inside", mark(MarkKind::Ellipse, {{20, 20}, {100, 80}}), {60, 50}, {}},
        {"pen", mark(MarkKind::Pen, {{10, 60}, {50, 60}, {90, 70}}), {30, 60}, red},
        {"step disc", mark(MarkKind::Step, {{100, 60}}), {88, 60}, red},
        {"redact", mark(MarkKind::Redact, {{30.4, 30.6}, {70.2, 50.1}}, Qt::black), {31, 31}, 0},
        // Multiplied, so that what lies below shows through: yellow keeps red and green.
        {"highlighter",
         mark(MarkKind::Highlighter, {{10, 60}, {190, 60}}, Qt::yellow),
         {100, 60},
         qRgb(100 + 50, 160, 0)},
    };
    for (const qreal scale : {1.0, 2.0}) {
        const QImage picture = gradient(scale);
        for (const auto& [name, drawn, point, expected] : cases) {
            MarkDocument document;
            Mark scaled = drawn;
            for (QPointF& p : scaled.points)
                p *= scale;
            document.marks.append(scaled);
            const QImage out = renderDocument(picture, document, scale);
            const QPoint at = (point * scale).toPoint();
            ASSERT_EQ(out.size(), picture.size()) << name;
            EXPECT_EQ(out.pixel(at) & 0xffffff, expected.value_or(picture.pixel(at)) & 0xffffff)
                << name << " at " << scale << "x";
        }
    }
}

TEST(MarkRenderer, TextHasAHaloAndPixelateFlattensBlocksAndCropKeepsMarks)
{
    MarkDocument document;
    document.marks = {mark(MarkKind::Text, {{20, 20}}, Qt::black, 4, u"Wm"_s, 30),
                      mark(MarkKind::Pixelate, {{100, 0}, {200, 120}})};
    const QImage picture = gradient(1);
    QImage out = renderDocument(picture, document, 1);
    QSet<QRgb> inText;
    for (int y = 20; y < 60; ++y)
        for (int x = 20; x < 70; ++x)
            inText.insert(out.pixel(x, y) & 0xffffff);
    EXPECT_TRUE(inText.contains(0x000000));
    EXPECT_TRUE(inText.contains(0xffffff)); // the halo
    EXPECT_EQ(out.pixel(101, 5), out.pixel(108, 5));
    EXPECT_NE(picture.pixel(101, 5), picture.pixel(108, 5));

    document.marks = {mark(MarkKind::FilledRectangle, {{60, 10}, {80, 30}}, Qt::blue)};
    document.crop = QRect(50, 0, 100, 120);
    out = renderDocument(picture, document, 1);
    EXPECT_EQ(out.size(), QSize(100, 120));
    EXPECT_EQ(out.pixel(15, 15), qRgb(0, 0, 255));
    EXPECT_EQ(out.pixel(40, 15), picture.pixel(90, 15));
}

TEST(MarkRenderer, MarksDrawnInPiecesMatchOneWholeDrawingAndTheSavedFileHidesARedaction)
{
    // Marks are drawn only in the rectangles they reach, cut where those meet; a rectangle too
    // small clips a mark, and a saved file must show the same. An invisible mark over the
    // whole picture forces one piece to compare with.
    QList<Mark> steps, dots;
    for (int i = 0; i < 10; ++i)
        steps.append(mark(MarkKind::Step, {{150, 20 + 9.5 * i}}, Qt::red, 4, {}, 30));
    for (int i = 0; i < 60; ++i) // more pieces than are drawn apart
        dots.append(mark(MarkKind::Pen, {{3.0 + (i % 10) * 20, 5.0 + (i / 10) * 19}}));
    const QList<std::pair<QList<Mark>, std::optional<QRect>>> cases{
        {{mark(MarkKind::Arrow, {{190, 110}, {195, 112}}, Qt::red, 14),
          mark(MarkKind::Rectangle, {{20.5, 20.5}, {60, 50}}, Qt::red, 20),
          mark(MarkKind::Pen, {{100, 60}}, Qt::red, 30),
          mark(MarkKind::Ellipse, {{40, 30}, {130, 90}})},
         {}},
        {{mark(MarkKind::Text, {{120, 70}}, Qt::blue, 4, u"Wjg\nÅy"_s, 40)}, {}},
        {steps, QRect(0, 0, 200, 60)},
        {dots, {}},
        {{mark(MarkKind::Pixelate, {{10, 10}, {90, 70}}),
          mark(MarkKind::Pixelate, {{80, 60}, {150, 110}}),
          mark(MarkKind::Highlighter, {{0, 65}, {200, 65}}, Qt::yellow),
          mark(MarkKind::Redact, {{85.5, 20}, {99, 99}}, Qt::black)},
         QRect(50, 30, 120, 200)},
    };
    const Mark invisible = mark(MarkKind::FilledRectangle, {{0, 0}, {200, 120}}, Qt::transparent);
    for (const auto& [marks, crop] : cases) {
        MarkDocument document{marks, crop};
        const QImage pieces = renderDocument(gradient(1), document, 1);
        const QImage saved =
            QImage::fromData(encodePicture(renderMarks(gradient(1), document, 1), u"png"_s), "PNG");
        document.marks.prepend(invisible);
        const QImage whole = renderDocument(gradient(1), document, 1);
        EXPECT_EQ(pieces, whole) << marks.first().points.first().x();
        EXPECT_EQ(saved.convertToFormat(QImage::Format_RGB32), whole);
    }

    // A saved redaction holds only its fill, though marks come after it in order, and the file
    // holds only the picture.
    const QRectF secret(QPointF(30.5, 20.25), QPointF(120.75, 60.5));
    const MarkDocument redacted{
        {mark(MarkKind::Redact, {secret.topLeft(), secret.bottomRight()}, Qt::black),
         mark(MarkKind::Arrow, {{0, 0}, {100, 50}}, Qt::green),
         mark(MarkKind::Highlighter, {{0, 40}, {200, 40}}, Qt::yellow)},
        {}};
    const QByteArray file = encodePicture(renderMarks(gradient(1), redacted, 1), u"png"_s);
    const QImage saved = QImage::fromData(file, "PNG");
    ASSERT_FALSE(saved.isNull());
    for (int y = 20; y <= 60; ++y)
        for (int x = 30; x <= 120; ++x)
            ASSERT_EQ(saved.pixel(x, y), qRgb(0, 0, 0)) << x << "," << y;
    QStringList chunks;
    for (qsizetype at = 8; at + 8 <= file.size();) {
        const quint32 length = qFromBigEndian<quint32>(file.constData() + at);
        chunks.append(QString::fromLatin1(file.mid(at + 4, 4)));
        at += 12 + qsizetype(length);
    }
    chunks.removeDuplicates();
    EXPECT_EQ(chunks, QStringList({u"IHDR"_s, u"IDAT"_s, u"IEND"_s}));
}

TEST(MarkHistory, UndoAndRedoReturnTheExactDocuments)
{
    MarkHistory history;
    MarkDocument one{{mark(MarkKind::Line, {{1, 2}, {3, 4}})}, {}};
    MarkDocument two = one;
    two.marks.append(mark(MarkKind::Step, {{5, 5}}));
    MarkDocument cropped = two;
    cropped.crop = QRect(1, 1, 10, 10);

    history.apply(one);
    history.apply(two);
    history.apply(two); // no change, no step
    history.apply(cropped);
    history.markSaved(history.current());
    EXPECT_FALSE(history.isModified());
    // Undo or redo; whether it moved; the document then.
    const std::tuple<bool, bool, MarkDocument> steps[] = {
        {true, true, two},  {true, true, one},  {true, true, {}},       {true, false, {}},
        {false, true, one}, {false, true, two}, {false, true, cropped}, {false, false, cropped}};
    for (const auto& [undo, moved, expected] : steps) {
        EXPECT_EQ(undo ? history.undo() : history.redo(), moved);
        EXPECT_EQ(history.current(), expected);
    }
    history.undo();
    history.apply(one); // a new change drops the redo
    EXPECT_FALSE(history.canRedo());
    EXPECT_TRUE(history.isModified());
}
