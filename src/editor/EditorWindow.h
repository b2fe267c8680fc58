// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QImage>
#include <QMainWindow>

#include <functional>
#include <optional>

class QActionGroup;
class QScrollArea;
class QSpinBox;

namespace glimra {
class Clipboard;
}

namespace glimra::editor {

class EditorCanvas;
struct RenderedPicture;
struct SaveOutcome;

// The editor of one screenshot: the tools, the style of new marks, undo and redo, zoom,
// Save as a new screenshot, Copy, and Replace Original, the only way the file it was opened
// from is written (after a question); rendering and encoding happen on the thread pool.
class EditorWindow final : public QMainWindow {
    Q_OBJECT
public:
    struct Options {
        QString sourcePath;     // the file that was opened
        QString saveFolder;     // where Save puts a new screenshot
        QString saveFormat;     // "png" or "jpeg"
        qreal scale = 1;        // the picture's device pixel ratio
        bool inLibrary = false; // the source is a library file: it may be replaced
        QString textReader;     // the text reader helper; empty: no Copy Text
        QString textLanguage;
    };
    EditorWindow(QImage picture, Options options, Clipboard* clipboard, QWidget* parent = nullptr);
    ~EditorWindow() override;

    EditorCanvas* canvas() const { return m_canvas; }
    bool isModified() const;

    void save();
    void copy();
    // Writes the marked-up picture over the source file, once confirmReplace agrees.
    void replaceOriginal();
    // Puts the words read in the chosen area (the whole picture when none) on the clipboard.
    void copyText();
    std::function<bool()> confirmReplace;
    void zoomToFit();
    void zoomToActualSize();

Q_SIGNALS:
    // A new screenshot was written; preview is a small copy of it for the library's list.
    void saved(const QString& path, const QImage& preview);
    void saveFailed(const QString& error);
    // The source file now holds the marked-up picture.
    void replaced(const QString& path, const QImage& preview);
    void copied();
    void textCopied(const QString& text);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildToolBar();
    void chooseColour();
    void applyStyle();
    void updateTitle();
    void writeInBackground(std::function<SaveOutcome(const RenderedPicture&)> write,
                           const QString& failTitle, const QString& failText,
                           void (EditorWindow::*done)(const QString&, const QImage&));

    Options m_options;
    Clipboard* m_clipboard;
    EditorCanvas* m_canvas;
    QScrollArea* m_scroll;
    QActionGroup* m_tools = nullptr;
    QSpinBox* m_width = nullptr;
    QSpinBox* m_fontSize = nullptr;
    QAction* m_colourAction = nullptr;
    QColor m_colour = Qt::red;
    bool m_saving = false;
    bool m_closeAfterSave = false;
};

} // namespace glimra::editor
