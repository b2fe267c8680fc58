// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <functional>

namespace glimra {

class AuthManager;
class Clipboard;
class FileOpener;
class HotkeyManager;
class HotkeySettings;
class ScreenshotManager;
class ShortcutRecorder;
class TextManager;

// What the popover's views are given by the application shell. Nothing is owned; all but
// the screenshot manager may be null, and a view then leaves out what needs it.
struct ViewServices {
    ScreenshotManager* screenshots = nullptr;
    AuthManager* auth = nullptr;
    HotkeySettings* hotkeys = nullptr;
    ShortcutRecorder* recorder = nullptr;
    HotkeyManager* hotkeyManager = nullptr;
    Clipboard* clipboard = nullptr;
    FileOpener* opener = nullptr;
    TextManager* text = nullptr; // null: no text search, no "Copy Text"
    // Opens a library file in the editor; empty: rows offer no "Edit…".
    std::function<void(const QString& path)> edit = {};
};

} // namespace glimra
