// SPDX-License-Identifier: GPL-3.0-or-later
#include "X11Screen.h"

#include <xcb/shm.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <sys/ipc.h>
#include <sys/mman.h>
#include <sys/shm.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace glimra::capture {

namespace {

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <typename T> using Reply = std::unique_ptr<T, FreeDeleter>;

xcb_screen_t* screenOfRoot(xcb_connection_t* c, xcb_window_t root)
{
    for (auto it = xcb_setup_roots_iterator(xcb_get_setup(c)); it.rem; xcb_screen_next(&it)) {
        if (it.data->root == root)
            return it.data;
    }
    return nullptr;
}

bool readsAsRgb32(xcb_connection_t* c, std::uint8_t depth)
{
    const xcb_setup_t* setup = xcb_get_setup(c);
    if (setup->image_byte_order != XCB_IMAGE_ORDER_LSB_FIRST || (depth != 24 && depth != 32))
        return false;
    for (auto it = xcb_setup_pixmap_formats_iterator(setup); it.rem; xcb_format_next(&it)) {
        if (it.data->depth == depth)
            return it.data->bits_per_pixel == 32;
    }
    return false;
}

} // namespace

std::uint32_t defaultRoot(xcb_connection_t* connection)
{
    int screenNumber = 0;
    char* host = nullptr;
    int display = 0;
    if (xcb_parse_display(nullptr, &host, &display, &screenNumber))
        std::free(host);
    else
        screenNumber = 0;
    auto it = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; i < screenNumber && it.rem > 1; ++i)
        xcb_screen_next(&it);
    return it.data ? it.data->root : xcb_window_t{XCB_WINDOW_NONE};
}

namespace {

#ifdef MADV_POPULATE_READ
constexpr int kPopulateRead = MADV_POPULATE_READ;
#else
constexpr int kPopulateRead = 22; // Linux 5.14; the C library's headers may be older
#endif

// Shared memory only works when the server runs on this machine, which a Unix socket
// guarantees; a TCP display may be forwarded from anywhere (ssh -X uses localhost:10).
// Containers with their own IPC namespace share the X socket but not the segments, and
// set QT_X11_NO_MITSHM for that, so it is honoured here too.
bool mayShareMemory(xcb_connection_t* c)
{
    const char* off = std::getenv("QT_X11_NO_MITSHM");
    if (off && *off && std::strcmp(off, "0") != 0)
        return false;
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (::getsockname(xcb_get_file_descriptor(c), reinterpret_cast<sockaddr*>(&address), &length) !=
            0 ||
        address.ss_family != AF_UNIX)
        return false;
    const xcb_query_extension_reply_t* shm = xcb_get_extension_data(c, &xcb_shm_id);
    return shm && shm->present;
}

// How many requests a shared grab is cut into. Two: the encoder starts on the top half while
// the server copies the bottom one. More, smaller bands measured slower at 1080p and at 4K.
int bandCount(Delivery delivery)
{
    return delivery == Delivery::Whole ? 1 : 2;
}

// The bands of one shared grab, received in order by whichever thread first needs the next
// one; the others wait for it rather than for the whole screen.
class SharedBands final : public RowArrival {
public:
    struct Band {
        xcb_shm_get_image_cookie_t cookie;
        int endRow;
    };

    SharedBands(xcb_connection_t* c, xcb_shm_seg_t segment, const std::uint8_t* base,
                std::size_t rowBytes, std::vector<Band> bands)
        : m_connection(c), m_segment(segment), m_base(base), m_rowBytes(rowBytes),
          m_bands(std::move(bands))
    {}

    // The server keeps the segment until it reads our detach, so every reply is taken first.
    ~SharedBands() override { waitForRows(m_bands.back().endRow); }

    bool waitForRows(int rows) override
    {
        std::unique_lock lock(m_mutex);
        while (m_ready < rows && !m_finished) {
            if (m_receiving) {
                m_changed.wait(lock);
                continue;
            }
            m_receiving = true;
            const Band band = m_bands[m_next];
            const int firstRow = m_ready;
            lock.unlock();
            const bool ok = receive(band, firstRow);
            lock.lock();
            m_receiving = false;
            if (ok)
                m_ready = band.endRow;
            if (!ok || ++m_next == m_bands.size())
                finish(ok);
            m_changed.notify_all();
        }
        return m_ready >= rows;
    }

private:
    bool receive(const Band& band, int firstRow)
    {
        const std::size_t first = std::size_t(firstRow) * m_rowBytes;
        const std::size_t bytes = std::size_t(band.endRow - firstRow) * m_rowBytes;
        Reply<xcb_shm_get_image_reply_t> reply(
            xcb_shm_get_image_reply(m_connection, band.cookie, nullptr));
        if (!reply || reply->size < bytes)
            return false;
        // The encoder reads every page once; mapping them all in one call is far cheaper
        // than a page fault each (older kernels refuse, and the faults happen anyway). The
        // call wants whole pages: the band's first one may have come with the band before.
        const std::uintptr_t page = std::uintptr_t(::sysconf(_SC_PAGESIZE));
        const std::uintptr_t start = (std::uintptr_t(m_base) + first) & ~(page - 1);
        ::madvise(reinterpret_cast<void*>(start), std::uintptr_t(m_base) + first + bytes - start,
                  kPopulateRead);
        return true;
    }

    // Called with the lock held once no reply is left to wait for.
    void finish(bool ok)
    {
        for (std::size_t i = m_next + (ok ? 0 : 1); i < m_bands.size(); ++i)
            xcb_discard_reply(m_connection, m_bands[i].cookie.sequence);
        // A first band that failed may mean the segment was never attached; the server then
        // drops it with the connection instead.
        if (ok || m_ready > 0) {
            xcb_shm_detach(m_connection, m_segment);
            xcb_flush(m_connection);
        }
        m_finished = true;
    }

    xcb_connection_t* m_connection;
    xcb_shm_seg_t m_segment;
    const std::uint8_t* m_base;
    std::size_t m_rowBytes;
    std::vector<Band> m_bands;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::size_t m_next = 0;
    int m_ready = 0;
    bool m_receiving = false;
    bool m_finished = false;
};

// The server writes the pixels straight into a segment we map, instead of sending 8 MB
// (33 MB at 4K) through the socket for the kernel to copy twice. Null when the server
// refuses; the caller then asks the plain way.
PixelBuffer grabShared(xcb_connection_t* c, xcb_window_t root, int width, int height,
                       Delivery delivery)
{
    const std::size_t rowBytes = std::size_t(width) * 4;
    const std::size_t size = rowBytes * std::size_t(height);
    const int id = ::shmget(IPC_PRIVATE, size, IPC_CREAT | 0600);
    if (id < 0)
        return {};
    void* address = ::shmat(id, nullptr, SHM_RDONLY);
    if (address == reinterpret_cast<void*>(-1)) {
        ::shmctl(id, IPC_RMID, nullptr);
        return {};
    }
    PixelBuffer pixels;
    pixels.storage.reset(static_cast<const std::uint8_t*>(address),
                         [](const std::uint8_t* p) { ::shmdt(p); });
    const xcb_shm_seg_t segment = xcb_generate_id(c);
    const xcb_void_cookie_t attached =
        xcb_shm_attach_checked(c, segment, static_cast<std::uint32_t>(id), 0);
    const int count = std::min(bandCount(delivery), height);
    std::vector<SharedBands::Band> bands;
    for (int i = 0; i < count; ++i) {
        const int top = int(std::int64_t(height) * i / count);
        const int bottom = int(std::int64_t(height) * (i + 1) / count);
        bands.push_back({xcb_shm_get_image(c, root, 0, static_cast<std::int16_t>(top),
                                           static_cast<std::uint16_t>(width),
                                           static_cast<std::uint16_t>(bottom - top), ~0u,
                                           XCB_IMAGE_FORMAT_Z_PIXMAP, segment,
                                           static_cast<std::uint32_t>(std::size_t(top) * rowBytes)),
                         bottom});
    }
    const int firstBand = bands.front().endRow;
    auto arrival = std::make_shared<SharedBands>(
        c, segment, static_cast<const std::uint8_t*>(address), rowBytes, std::move(bands));
    const bool firstArrived = arrival->waitForRows(firstBand);
    // The first reply came after the attach, so this costs no further round trip. Once the
    // server holds the segment it may go: the kernel frees it with the last mapping, so a
    // crash from here on leaves nothing behind.
    Reply<xcb_generic_error_t> attachError(xcb_request_check(c, attached));
    ::shmctl(id, IPC_RMID, nullptr);
    if (!firstArrived || attachError)
        return {};
    pixels.view = {static_cast<const std::uint8_t*>(address), width, height,
                   std::ptrdiff_t(rowBytes)};
    pixels.shared = true;
    if (count > 1)
        pixels.arrival = std::move(arrival);
    return pixels;
}

PixelBuffer grabPlain(xcb_connection_t* c, xcb_window_t root, int width, int height,
                      std::string* error)
{
    xcb_generic_error_t* xerror = nullptr;
    xcb_get_image_reply_t* reply = xcb_get_image_reply(
        c,
        xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, root, 0, 0, static_cast<std::uint16_t>(width),
                      static_cast<std::uint16_t>(height), ~0u),
        &xerror);
    if (!reply) {
        *error = xerror ? "the X server refused the screen image (error " +
                              std::to_string(xerror->error_code) + ")"
                        : "lost the connection to the X server";
        std::free(xerror);
        return {};
    }
    const int length = xcb_get_image_data_length(reply);
    if (length < width * height * 4) {
        std::free(reply);
        *error = "the X server sent a short screen image";
        return {};
    }
    // The pixels stay in the reply's buffer instead of being copied (8 MB for one 1080p
    // screen); the reply is freed with the last user.
    PixelBuffer pixels;
    pixels.storage.reset(reinterpret_cast<const std::uint8_t*>(reply),
                         [](const std::uint8_t* r) { std::free(const_cast<std::uint8_t*>(r)); });
    pixels.view = {xcb_get_image_data(reply), width, height, std::ptrdiff_t(width) * 4};
    return pixels;
}

} // namespace

PixelBuffer grabRoot(xcb_connection_t* connection, std::uint32_t root, std::string* error,
                     Transport transport, Delivery delivery)
{
    xcb_screen_t* screen = screenOfRoot(connection, root);
    if (!screen) {
        *error = "no X screen for the root window";
        return {};
    }
    if (!readsAsRgb32(connection, screen->root_depth)) {
        *error = "unsupported screen depth " + std::to_string(screen->root_depth);
        return {};
    }
    const int width = screen->width_in_pixels;
    const int height = screen->height_in_pixels;
    if (transport == Transport::Any && mayShareMemory(connection)) {
        PixelBuffer shared = grabShared(connection, root, width, height, delivery);
        if (!shared.view.isNull())
            return shared;
    }
    return grabPlain(connection, root, width, height, error);
}

} // namespace glimra::capture
