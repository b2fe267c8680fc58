#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>

struct xcb_connection_t;

namespace glimra::test {

// Another X client on a connection of its own: it can hold keys against the code under test
// and own a window that records the key events it is given.
class XProbe {
public:
    XProbe();
    ~XProbe();
    XProbe(const XProbe&) = delete;
    XProbe& operator=(const XProbe&) = delete;

    struct Key {
        bool press;
        uint8_t keycode;
        uint16_t state;
    };

    uint8_t keycodeFor(uint32_t keysym) const;
    // A passive grab on the root window; false when another client holds it.
    bool grabKey(uint8_t keycode, uint16_t modifiers);
    void ungrabKey(uint8_t keycode, uint16_t modifiers);
    bool isDown(uint8_t keycode) const;
    // An active grab of the pointer, as a menu or a drag of another program holds it.
    bool grabPointer();
    void ungrabPointer();

    // Maps a window with this WM_CLASS and makes the window manager activate it.
    uint32_t openWindow(const char* wmClass);
    QList<Key> keys(); // everything received so far
    // Becomes the clipboard's owner, as any program does when the user copies something.
    void takeClipboard();

private:
    xcb_connection_t* m_c;
    uint32_t m_root = 0;
    uint32_t m_window = 0;
    QList<Key> m_keys;
};

// Runs a desktop tool without blocking this thread, which may have to answer the X server
// (a frozen keyboard, a selection request) before the tool can finish.
QByteArray runTool(const QString& program, const QStringList& args);

} // namespace glimra::test
