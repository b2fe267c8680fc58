#pragma once

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
};

} // namespace glimra
