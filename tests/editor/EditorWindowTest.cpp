// SPDX-License-Identifier: GPL-3.0-or-later
#include "editor/EditorWindow.h"
#include "editor/EditorCanvas.h"
#include "text/TextManager.h"

#include "TestSupport.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFont>
#include <QMouseEvent>
#include <QPainter>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace glimra::editor;
using namespace glimra::test;

namespace {

void drag(QWidget* widget, QPointF from, QPointF to)
{
    const auto send = [widget](QEvent::Type type, QPointF at, Qt::MouseButton button,
                               Qt::MouseButtons held) {
        QMouseEvent event(type, at, widget->mapToGlobal(at), button, held, Qt::NoModifier);
        QApplication::sendEvent(widget, &event);
    };
    send(QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
    send(QEvent::MouseMove, (from + to) / 2, Qt::NoButton, Qt::LeftButton);
    send(QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
}

QAction* action(QWidget* window, const QString& text)
{
    for (QAction* candidate : window->findChildren<QAction*>())
        if (candidate->text() == text)
            return candidate;
    return nullptr;
}

} // namespace

TEST(EditorWindow, DrawsMovesUndoesAndSavesANewFileLeavingThePictureAlone)
{
    QTemporaryDir folder;
    const QImage picture = makeTestImage(200, 120);
    auto* window = new EditorWindow(
        picture, {u"/nowhere/a.png"_s, folder.path(), u"png"_s, 1, false, {}, {}}, nullptr);
    EditorCanvas* canvas = window->canvas();
    canvas->setZoom(1);

    action(window, u"Redact"_s)->trigger();
    drag(canvas, {20, 20}, {60, 50});
    ASSERT_EQ(canvas->document().marks.size(), 1);
    EXPECT_EQ(canvas->document().marks[0].kind, MarkKind::Redact);
    EXPECT_TRUE(window->isModified());

    action(window, u"Select"_s)->trigger();
    drag(canvas, {40, 35}, {50, 45});
    EXPECT_EQ(canvas->document().marks[0].points.first(), QPointF(30, 30));
    action(window, u"Undo"_s)->trigger();
    EXPECT_EQ(canvas->document().marks[0].points.first(), QPointF(20, 20));
    action(window, u"Redo"_s)->trigger();
    EXPECT_EQ(canvas->document().marks[0].points.first(), QPointF(30, 30));

    QString savedPath;
    QObject::connect(window, &EditorWindow::saved, [&](const QString& path) { savedPath = path; });
    window->save();
    ASSERT_TRUE(waitUntil([&] { return !savedPath.isEmpty(); }));
    EXPECT_FALSE(window->isModified());
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files),
              QStringList(QFileInfo(savedPath).fileName()));
    EXPECT_TRUE(QFileInfo(savedPath).fileName().startsWith(u"Glimra_"_s));
    const QImage saved(savedPath);
    EXPECT_EQ(saved.pixel(30, 30), qRgb(0, 0, 0));
    EXPECT_EQ(saved.pixel(100, 100), picture.pixel(100, 100));
    EXPECT_EQ(canvas->picture(), picture.convertToFormat(QImage::Format_RGB32));

    // Selecting and deleting is a change of its own, undone like any other.
    drag(canvas, {40, 40}, {40, 40});
    action(window, u"Delete Mark"_s)->trigger();
    EXPECT_TRUE(canvas->document().marks.isEmpty());
    EXPECT_TRUE(window->isModified());
    action(window, u"Undo"_s)->trigger();
    EXPECT_FALSE(window->isModified());
    EXPECT_EQ(action(window, u"Replace Original"_s), nullptr); // not a library file
    delete window;
}

TEST(EditorWindow, ReplacesTheOriginalWithTheMarkedUpPictureAndCopiesTheTextOfAnArea)
{
    QTemporaryDir folder;
    const QString path = folder.filePath(u"a.png"_s);
    QImage picture(700, 120, QImage::Format_RGB32);
    picture.fill(Qt::white);
    QPainter painter(&picture);
    QFont font(u"DejaVu Sans"_s);
    font.setPixelSize(30);
    painter.setFont(font);
    painter.drawText(20, 60, u"Alpha Beta"_s);
    painter.drawText(20, 105, u"Gamma Delta"_s);
    painter.drawText(420, 60, u"Omega"_s);
    painter.end();
    ASSERT_TRUE(picture.save(path));
    EditorWindow window(
        picture,
        {path, folder.path(), u"png"_s, 1, true, glimra::TextManager::readerProgram(), u"eng"_s},
        nullptr);
    window.canvas()->setZoom(1);
    QString copied;
    QObject::connect(&window, &EditorWindow::textCopied, [&](const QString& t) { copied = t; });
    // Only the words in the area, line by line.
    action(&window, u"Select Text"_s)->trigger();
    drag(window.canvas(), {10, 20}, {380, 118});
    action(&window, u"Copy Text"_s)->trigger();
    ASSERT_TRUE(waitUntil([&] { return !copied.isEmpty(); }, 20s));
    EXPECT_EQ(copied, u"Alpha Beta\nGamma Delta"_s);

    action(&window, u"Redact"_s)->trigger();
    drag(window.canvas(), {300, 20}, {360, 50});
    QString replaced;
    QObject::connect(&window, &EditorWindow::replaced, [&](const QString& p) { replaced = p; });
    window.confirmReplace = [] { return true; };
    action(&window, u"Replace Original"_s)->trigger();
    ASSERT_TRUE(waitUntil([&] { return !replaced.isEmpty(); }));
    EXPECT_EQ(std::tuple(replaced, window.isModified()), std::tuple(path, false));
    EXPECT_EQ(QImage(path).pixel(330, 30), qRgb(0, 0, 0));
}
