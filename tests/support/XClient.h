// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QList>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <vector>

class QProcess;
struct xcb_connection_t;

namespace glimra::test {

// The tests' own client of an X server, on a connection of its own: it holds keys against the
// code under test, owns windows to tile or to receive key events, takes the clipboard, and
// reports where the window manager put each frame. Closes its windows when destroyed.
class XClient {
public:
    using Values = std::vector<uint32_t>;
    explicit XClient(const QByteArray& display = {}); // empty: $DISPLAY
    ~XClient();
    XClient(const XClient&) = delete;
    XClient& operator=(const XClient&) = delete;

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

    // A bare window without size hints, its position marked as the user's so that the window
    // manager keeps it where asked, made the active window; it records the keys it is given.
    // With a strut, a panel instead.
    uint32_t open(QRect r, Values strut = {});
    QList<Key> keys(); // everything the windows received so far
    // The outermost window the manager wrapped the client in, as the server measures it.
    QRect frameOf(uint32_t window);
    // Destroys every window opened here and waits until the manager has let them go.
    bool closeAll();

    uint32_t root() const { return m_root; }
    uint32_t atom(const char* name);
    Values property(uint32_t window, const char* name);
    void message(uint32_t window, const char* type, Values data);
    void setProperty(uint32_t window, const char* name, uint32_t type, const Values& values);

private:
    xcb_connection_t* m_c = nullptr;
    uint32_t m_root = 0;
    std::vector<uint32_t> m_windows;
    QList<Key> m_keys;
};

// An X server of its own with openbox on it, configured by rcFile (no key bindings, one
// desktop), so a test can rearrange monitors or press the keys a stock window manager keeps.
// Both processes end with the object, or with the test binary if it crashes.
class PrivateDesktop {
public:
    PrivateDesktop(QSize screen, const QString& rcFile);
    ~PrivateDesktop();
    PrivateDesktop(const PrivateDesktop&) = delete;
    PrivateDesktop& operator=(const PrivateDesktop&) = delete;

    // ":N", empty when the server or the window manager did not come up.
    const QByteArray& display() const { return m_display; }

private:
    std::unique_ptr<QProcess> m_xvfb, m_wm;
    QByteArray m_display;
};

// Runs a desktop tool without blocking this thread, which may have to answer the X server
// (a frozen keyboard, a selection request) before the tool can finish.
QByteArray runTool(const QString& program, const QStringList& args);
// xdotool with these words as its arguments, the same way.
QByteArray xdotool(const QString& words);

} // namespace glimra::test
