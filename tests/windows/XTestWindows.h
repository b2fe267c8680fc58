#pragma once

#include <QByteArray>
#include <QRect>

#include <cstdint>
#include <vector>

struct xcb_connection_t;

namespace glimra::test {

// The tests' own client of an X server with a window manager: bare windows and panels to tile,
// and the server's view of where their frames ended up. Closes its windows when destroyed.
class XTestWindows {
public:
    using Values = std::vector<uint32_t>;
    explicit XTestWindows(const QByteArray& display = {}); // empty: $DISPLAY
    ~XTestWindows();
    XTestWindows(const XTestWindows&) = delete;
    XTestWindows& operator=(const XTestWindows&) = delete;

    // A bare window without size hints, its position marked as the user's so that the window
    // manager keeps it where asked, made the active window. With a strut, a panel instead.
    uint32_t open(QRect r, Values strut = {});
    // The outermost window the manager wrapped the client in, as the server measures it.
    QRect frameOf(uint32_t window);
    // Destroys every window opened here and waits until the manager has let them go.
    bool closeAll();

    uint32_t root() const { return m_root; }
    uint32_t atom(const char* name);
    Values property(uint32_t window, const char* name);
    void message(uint32_t window, const char* type, Values data);

private:
    void setProperty(uint32_t window, const char* name, uint32_t type, const Values& values);
    xcb_connection_t* m_c = nullptr;
    uint32_t m_root = 0;
    std::vector<uint32_t> m_windows;
};

} // namespace glimra::test
