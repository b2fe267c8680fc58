// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "text/TextManager.h"

#include <QObject>
#include <QPointer>

#include <functional>

namespace glimra {
class Clipboard;
class ScreenshotManager;
} // namespace glimra

namespace glimra::editor {

class EditorWindow;

// Opens screenshots in editor windows and adds what they save to the library as new
// screenshots, which then go the way of a capture (list, clipboard, upload).
class EditorLauncher final : public QObject {
    Q_OBJECT
public:
    EditorLauncher(ScreenshotManager* screenshots, Clipboard* clipboard, QObject* parent = nullptr);

    // Decodes the file off the GUI thread, then shows a window for it; done is told the
    // window, or null and why not.
    using Done = std::function<void(EditorWindow* window, const QString& error)>;
    void open(const QString& path, Done done = {});
    // Windows opened from now on offer Copy Text while this reads text.
    void setTextManager(TextManager* text) { m_text = text; }

Q_SIGNALS:
    void windowShown(EditorWindow* window);

private:
    void show(const QString& path, const QImage& picture, const Done& done);

    ScreenshotManager* m_screenshots;
    Clipboard* m_clipboard;
    QPointer<TextManager> m_text;
};

} // namespace glimra::editor
