// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/x11/X11WindowMover.h"

#include "platform/x11/UsableArea.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <vector>
#include <xcb/randr.h>
#include <xcb/xcb.h>

namespace glimra {

namespace {

template <typename T> struct FreeDeleter {
    void operator()(T* p) const { std::free(p); }
};
template <typename T> using Reply = std::unique_ptr<T, FreeDeleter<T>>;

enum Atom {
    ActiveWindowAtom,
    FrameExtentsAtom,
    WorkAreaAtom,
    CurrentDesktopAtom,
    ClientListAtom,
    StrutAtom,
    StrutPartialAtom,
    StateAtom,
    MaximizedVertAtom,
    MaximizedHorzAtom,
    FullscreenAtom,
    MoveResizeAtom,
    SupportedAtom,
    WindowTypeAtom,
    TypeDesktopAtom,
    TypeDockAtom,
    AtomCount
};

constexpr std::array<const char*, AtomCount> kAtomNames{
    "_NET_ACTIVE_WINDOW",
    "_NET_FRAME_EXTENTS",
    "_NET_WORKAREA",
    "_NET_CURRENT_DESKTOP",
    "_NET_CLIENT_LIST",
    "_NET_WM_STRUT",
    "_NET_WM_STRUT_PARTIAL",
    "_NET_WM_STATE",
    "_NET_WM_STATE_MAXIMIZED_VERT",
    "_NET_WM_STATE_MAXIMIZED_HORZ",
    "_NET_WM_STATE_FULLSCREEN",
    "_NET_MOVERESIZE_WINDOW",
    "_NET_SUPPORTED",
    "_NET_WM_WINDOW_TYPE",
    "_NET_WM_WINDOW_TYPE_DESKTOP",
    "_NET_WM_WINDOW_TYPE_DOCK",
};

// Sent as a pager would: the user asked for the move, not the window's own application.
constexpr uint32_t kSourcePager = 2;
constexpr uint32_t kStaticGravity = 10;
constexpr uint32_t kStateRemove = 0;
// WM_NORMAL_HINTS: the flag saying a gravity is set, and where the gravity is.
constexpr uint32_t kHintsWinGravity = 1u << 9;
constexpr size_t kHintsGravityIndex = 17;

bool contains(const std::vector<uint32_t>& values, uint32_t value)
{
    return std::find(values.begin(), values.end(), value) != values.end();
}

} // namespace

struct X11WindowMover::Display {
    xcb_connection_t* c = nullptr;
    xcb_window_t root = 0;
    std::array<xcb_atom_t, AtomCount> atoms{};

    ~Display()
    {
        if (c)
            xcb_disconnect(c);
    }

    // Also discards what the server queued for us: no events are selected on this connection,
    // so all it can hold are errors about windows that vanished, which would pile up unread.
    bool ok()
    {
        if (!c || xcb_connection_has_error(c))
            return false;
        while (xcb_generic_event_t* event = xcb_poll_for_event(c))
            std::free(event);
        return true;
    }

    xcb_get_property_cookie_t request(xcb_window_t window, Atom atom, uint32_t longs = 1024)
    {
        return xcb_get_property(c, 0, window, atoms[atom], XCB_GET_PROPERTY_TYPE_ANY, 0, longs);
    }

    // The 32-bit values of a property; empty when it is missing or of another format.
    std::vector<uint32_t> values(xcb_get_property_cookie_t cookie)
    {
        Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(c, cookie, nullptr));
        if (!reply || reply->format != 32 || reply->type == XCB_ATOM_NONE)
            return {};
        const auto* data = static_cast<const uint32_t*>(xcb_get_property_value(reply.get()));
        return std::vector<uint32_t>(data, data + xcb_get_property_value_length(reply.get()) / 4);
    }

    std::vector<uint32_t> property(xcb_window_t window, Atom atom, uint32_t longs = 1024)
    {
        return values(request(window, atom, longs));
    }

    void sendToRoot(xcb_window_t window, Atom type, const std::array<uint32_t, 5>& data)
    {
        xcb_client_message_event_t event{};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 32;
        event.window = window;
        event.type = atoms[type];
        for (size_t i = 0; i < data.size(); ++i)
            event.data.data32[i] = data[i];
        xcb_send_event(c, 0, root,
                       XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                       reinterpret_cast<const char*>(&event));
        xcb_flush(c);
    }

    // Full screen too: a window manager keeps a full-screen window where it is, whatever
    // size is asked of it.
    bool isMaximized(const std::vector<uint32_t>& state)
    {
        return contains(state, atoms[MaximizedVertAtom]) ||
               contains(state, atoms[MaximizedHorzAtom]) || contains(state, atoms[FullscreenAtom]);
    }
    bool isMaximized(xcb_window_t window) { return isMaximized(property(window, StateAtom)); }

    QSize clientSize(xcb_window_t window)
    {
        Reply<xcb_get_geometry_reply_t> geo(
            xcb_get_geometry_reply(c, xcb_get_geometry(c, window), nullptr));
        return geo ? QSize(geo->width, geo->height) : QSize();
    }

    QRect rootGeometry()
    {
        Reply<xcb_get_geometry_reply_t> geo(
            xcb_get_geometry_reply(c, xcb_get_geometry(c, root), nullptr));
        return geo ? QRect(0, 0, geo->width, geo->height) : QRect();
    }

    QList<QPair<QRect, bool>> randrMonitors()
    {
        QList<QPair<QRect, bool>> result;
        const xcb_query_extension_reply_t* ext = xcb_get_extension_data(c, &xcb_randr_id);
        if (!ext || !ext->present)
            return result;
        Reply<xcb_randr_query_version_reply_t> version(
            xcb_randr_query_version_reply(c, xcb_randr_query_version(c, 1, 5), nullptr));
        if (!version || (version->major_version == 1 && version->minor_version < 5))
            return result;
        Reply<xcb_randr_get_monitors_reply_t> reply(
            xcb_randr_get_monitors_reply(c, xcb_randr_get_monitors(c, root, 1), nullptr));
        if (!reply)
            return result;
        for (auto it = xcb_randr_get_monitors_monitors_iterator(reply.get()); it.rem;
             xcb_randr_monitor_info_next(&it)) {
            const QRect geometry(it.data->x, it.data->y, it.data->width, it.data->height);
            if (!geometry.isEmpty())
                result.append({geometry, it.data->primary != 0});
        }
        return result;
    }

    // Every managed window's reservation; none when the window manager keeps no client list.
    std::optional<QList<Strut>> struts(QSize screen)
    {
        Reply<xcb_get_property_reply_t> list(
            xcb_get_property_reply(c, request(root, ClientListAtom), nullptr));
        if (!list || list->type == XCB_ATOM_NONE || list->format != 32)
            return std::nullopt;
        const auto* windows = static_cast<const xcb_window_t*>(xcb_get_property_value(list.get()));
        const int count = xcb_get_property_value_length(list.get()) / 4;
        // All requests first, then all replies: one round trip however many windows there are.
        std::vector<std::pair<xcb_get_property_cookie_t, xcb_get_property_cookie_t>> cookies;
        cookies.reserve(count);
        for (int i = 0; i < count; ++i)
            cookies.emplace_back(request(windows[i], StrutPartialAtom, 12),
                                 request(windows[i], StrutAtom, 4));
        QList<Strut> result;
        for (auto& [partialCookie, plainCookie] : cookies) {
            const std::vector<uint32_t> partial = values(partialCookie);
            const std::vector<uint32_t> plain = values(plainCookie);
            // A window with both is read by its partial strut, which says more.
            if (auto strut = strutFromValues(partial.size() >= 12 ? partial : plain, screen))
                result.append(*strut);
        }
        return result;
    }

    std::optional<QRect> workArea()
    {
        auto desktopCookie = request(root, CurrentDesktopAtom, 1);
        const std::vector<uint32_t> area = property(root, WorkAreaAtom);
        const std::vector<uint32_t> desktop = values(desktopCookie);
        const size_t index = desktop.empty() ? 0 : desktop[0];
        if (area.size() < (index + 1) * 4)
            return std::nullopt;
        const uint32_t* a = area.data() + index * 4;
        return QRect(int(a[0]), int(a[1]), int(a[2]), int(a[3]));
    }
};

X11WindowMover::X11WindowMover(const QByteArray& displayName) : d(std::make_unique<Display>())
{
    QObject::connect(&m_restoreTimer, &QTimer::timeout, [this] { stepRestore(); });
    int screenNumber = 0;
    d->c = xcb_connect(displayName.isEmpty() ? nullptr : displayName.constData(), &screenNumber);
    if (!d->ok())
        return;
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(d->c));
    for (int i = 0; i < screenNumber && it.rem; ++i)
        xcb_screen_next(&it);
    d->root = it.data->root;
    std::array<xcb_intern_atom_cookie_t, AtomCount> cookies{};
    for (size_t i = 0; i < AtomCount; ++i)
        cookies[i] = xcb_intern_atom(d->c, 0, uint16_t(strlen(kAtomNames[i])), kAtomNames[i]);
    for (size_t i = 0; i < AtomCount; ++i) {
        Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(d->c, cookies[i], nullptr));
        d->atoms[i] = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    }
}

X11WindowMover::~X11WindowMover() = default;

bool X11WindowMover::isConnected() const
{
    return d->c && !xcb_connection_has_error(d->c);
}

std::optional<ActiveWindow> X11WindowMover::activeWindow()
{
    if (!d->ok())
        return std::nullopt;
    const std::vector<uint32_t> active = d->property(d->root, ActiveWindowAtom, 1);
    if (active.empty() || active[0] == XCB_WINDOW_NONE || active[0] == d->root)
        return std::nullopt;
    const xcb_window_t window = active[0];

    auto typeCookie = d->request(window, WindowTypeAtom);
    auto extentsCookie = d->request(window, FrameExtentsAtom, 4);
    auto geometryCookie = xcb_get_geometry(d->c, window);
    auto originCookie = xcb_translate_coordinates(d->c, window, d->root, 0, 0);
    const std::vector<uint32_t> type = d->values(typeCookie);
    const std::vector<uint32_t> extents = d->values(extentsCookie);
    Reply<xcb_get_geometry_reply_t> geometry(xcb_get_geometry_reply(d->c, geometryCookie, nullptr));
    Reply<xcb_translate_coordinates_reply_t> origin(
        xcb_translate_coordinates_reply(d->c, originCookie, nullptr));
    if (!geometry || !origin)
        return std::nullopt;
    // With the desktop or a panel in front there is nothing the user means to tile.
    if (contains(type, d->atoms[TypeDesktopAtom]) || contains(type, d->atoms[TypeDockAtom]))
        return std::nullopt;

    ActiveWindow result;
    result.id = window;
    if (extents.size() >= 4)
        result.extents =
            FrameExtents{int(extents[0]), int(extents[1]), int(extents[2]), int(extents[3])};
    const FrameExtents& e = result.extents;
    result.frame = QRect(origin->dst_x - e.left, origin->dst_y - e.top,
                         geometry->width + e.left + e.right, geometry->height + e.top + e.bottom);
    return result;
}

QList<Monitor> X11WindowMover::monitors()
{
    QList<Monitor> result;
    if (!d->ok())
        return result;
    const QRect screen = d->rootGeometry();
    if (screen.isEmpty())
        return result;
    QList<QPair<QRect, bool>> found = d->randrMonitors();
    if (found.isEmpty())
        found.append({screen, true});
    const std::optional<QList<Strut>> struts = d->struts(screen.size());
    const std::optional<QRect> workArea = d->workArea();
    for (const auto& [geometry, primary] : found)
        result.append(Monitor{
            geometry, usableArea(geometry, screen.size(), struts, workArea, int(found.size())),
            primary});
    return result;
}

void X11WindowMover::unmaximize(WindowId window, std::function<void()> done)
{
    if (!d->ok() || !d->isMaximized(window)) {
        m_restore.reset();
        m_restoreTimer.stop();
        if (done)
            QTimer::singleShot(0, &m_restoreTimer, std::move(done));
        return;
    }
    const bool wasFullScreen = contains(d->property(window, StateAtom), d->atoms[FullscreenAtom]);
    m_restore = Restore{window, d->clientSize(window), wasFullScreen, std::move(done), {}, {}, {}};
    m_restore->since.start();
    d->sendToRoot(
        window, StateAtom,
        {kStateRemove, d->atoms[MaximizedVertAtom], d->atoms[MaximizedHorzAtom], kSourcePager, 0});
    d->sendToRoot(window, StateAtom, {kStateRemove, d->atoms[FullscreenAtom], 0, kSourcePager, 0});
    m_restoreTimer.start(5);
}

void X11WindowMover::stepRestore()
{
    Restore& r = *m_restore;
    const bool late = r.since.elapsed() >= 500 || !d->ok();
    // The manager publishes the state before it has redrawn the frame; the restored
    // decoration is in place once the client has its restored size.
    if (!r.resized) {
        if (!late && (d->isMaximized(r.window) || d->clientSize(r.window) == r.maximized))
            return;
        r.resized = true;
        m_restoreTimer.setInterval(20);
    }
    // Leaving full screen, the manager also puts the decoration back and moves the frame to
    // where it was; a move sent before that has settled is undone by it.
    if (!late) {
        const std::optional<ActiveWindow> now = activeWindow();
        const bool settled =
            now && r.last && now->frame == r.last->frame && now->extents == r.last->extents;
        r.last = now;
        if (!settled)
            return;
    }
    m_restoreTimer.stop();
    // Openbox puts a window leaving full screen back with its frame where the client was and
    // takes a move to the client's old place for no move at all; one step aside first.
    if (r.wasFullScreen && r.last) {
        const FrameExtents& e = r.last->extents;
        moveResize(r.window, r.last->frame.adjusted(e.left + 1, e.top, 1 - e.right, -e.bottom), e);
    }
    const std::function<void()> done = std::move(r.done);
    m_restore.reset();
    if (done)
        done();
}

void X11WindowMover::moveResize(WindowId window, const QRect& client, const FrameExtents& extents)
{
    if (!d->ok())
        return;
    const auto width = uint32_t(std::max(1, client.width()));
    const auto height = uint32_t(std::max(1, client.height()));
    if (!m_preferConfigure &&
        contains(d->property(d->root, SupportedAtom), d->atoms[MoveResizeAtom])) {
        // Static gravity makes x and y the client's own position, free of any guess about how
        // the window manager accounts for its decoration.
        const uint32_t flags = kStaticGravity | (0xfu << 8) | (kSourcePager << 12);
        d->sendToRoot(window, MoveResizeAtom,
                      {flags, uint32_t(client.x()), uint32_t(client.y()), width, height});
        return;
    }
    // A configure request is read by the window's own gravity: static gravity names the client's
    // position, the default north-west gravity the frame's outer corner.
    Reply<xcb_get_property_reply_t> hints(xcb_get_property_reply(
        d->c,
        xcb_get_property(d->c, 0, window, XCB_ATOM_WM_NORMAL_HINTS, XCB_ATOM_WM_SIZE_HINTS, 0, 18),
        nullptr));
    bool staticGravity = false;
    if (hints && hints->format == 32 && xcb_get_property_value_length(hints.get()) >= 72) {
        const auto* h = static_cast<const uint32_t*>(xcb_get_property_value(hints.get()));
        staticGravity = (h[0] & kHintsWinGravity) && h[kHintsGravityIndex] == kStaticGravity;
    }
    const int x = staticGravity ? client.x() : client.x() - extents.left;
    const int y = staticGravity ? client.y() : client.y() - extents.top;
    const std::array<uint32_t, 4> values{uint32_t(x), uint32_t(y), width, height};
    xcb_configure_window(d->c, window,
                         XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y | XCB_CONFIG_WINDOW_WIDTH |
                             XCB_CONFIG_WINDOW_HEIGHT,
                         values.data());
    xcb_flush(d->c);
}

} // namespace glimra
