#include "tools/testserver/x11_screen.h"

#include <sys/ipc.h>
#include <sys/shm.h>

#include <xcb/damage.h>
#include <xcb/shm.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "tools/testserver/desktop.h"
#include "tools/testserver/xcb_support.h"

namespace corvane::testserver {

namespace {

constexpr uint32_t kAllPlanes = ~0u;
constexpr int kServedDepth = 24;
constexpr int kServedBitsPerPixel = 32;
constexpr uint32_t kRedMask = 0xFF0000;
constexpr uint32_t kGreenMask = 0x00FF00;
constexpr uint32_t kBlueMask = 0x0000FF;

bool Served(const xcb_setup_t* setup, const xcb_screen_t* screen, std::string& error) {
    if (screen->root_depth != kServedDepth) {
        error = "the root window's depth is " + std::to_string(screen->root_depth) + ", not 24";
        return false;
    }
    if (setup->image_byte_order != XCB_IMAGE_ORDER_LSB_FIRST) {
        error = "the X server sends images most significant byte first";
        return false;
    }
    bool formatFound = false;
    for (auto f = xcb_setup_pixmap_formats_iterator(setup); f.rem; xcb_format_next(&f)) {
        if (f.data->depth == kServedDepth) formatFound = f.data->bits_per_pixel == kServedBitsPerPixel;
    }
    if (!formatFound) {
        error = "depth 24 is not stored as 32 bits a pixel";
        return false;
    }
    for (auto d = xcb_screen_allowed_depths_iterator(screen); d.rem; xcb_depth_next(&d)) {
        for (auto v = xcb_depth_visuals_iterator(d.data); v.rem; xcb_visualtype_next(&v)) {
            if (v.data->visual_id != screen->root_visual) continue;
            if (v.data->_class == XCB_VISUAL_CLASS_TRUE_COLOR && v.data->red_mask == kRedMask &&
                v.data->green_mask == kGreenMask && v.data->blue_mask == kBlueMask) {
                return true;
            }
        }
    }
    error = "the root visual is not TrueColor with 8 bits of red, green and blue";
    return false;
}

}  // namespace

std::vector<PixelRect> ScreenTiles(int width, int height, int tile) {
    std::vector<PixelRect> tiles;
    if (tile <= 0) return tiles;
    for (int y = 0; y < height; y += tile) {
        for (int x = 0; x < width; x += tile) {
            tiles.push_back({x, y, std::min(tile, width - x), std::min(tile, height - y)});
        }
    }
    return tiles;
}

std::unique_ptr<X11Screen> X11Screen::Open(const std::string& display, std::string& error) {
    std::unique_ptr<X11Screen> s(new X11Screen());
    const xcb_screen_t* screen = ConnectScreen(display, s->m_connection, error);
    if (screen == nullptr) return nullptr;
    const xcb_setup_t* setup = xcb_get_setup(s->m_connection);
    if (!Served(setup, screen, error)) return nullptr;
    s->m_root = screen->root;
    s->m_width = screen->width_in_pixels;
    s->m_height = screen->height_in_pixels;
    s->m_pixels.assign(static_cast<size_t>(s->m_width) * static_cast<size_t>(s->m_height), 0);

    xcb_connection_t* c = s->m_connection;
    const xcb_query_extension_reply_t* damage = xcb_get_extension_data(c, &xcb_damage_id);
    if (damage != nullptr && damage->present) {
        XcbReply<xcb_damage_query_version_reply_t> version(xcb_damage_query_version_reply(
            c, xcb_damage_query_version(c, XCB_DAMAGE_MAJOR_VERSION, XCB_DAMAGE_MINOR_VERSION), nullptr));
        if (version) {
            s->m_damageEvent = damage->first_event;
            s->m_damage = xcb_generate_id(c);
            xcb_damage_create(c, s->m_damage, s->m_root, XCB_DAMAGE_REPORT_LEVEL_RAW_RECTANGLES);
        }
    }

    const xcb_query_extension_reply_t* shm = xcb_get_extension_data(c, &xcb_shm_id);
    if (shm != nullptr && shm->present) {
        const size_t bytes = s->m_pixels.size() * 4;
        s->m_shmId = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
        if (s->m_shmId >= 0) {
            void* address = shmat(s->m_shmId, nullptr, 0);
            if (address != reinterpret_cast<void*>(-1)) {
                s->m_shmAddress = static_cast<uint8_t*>(address);
                const uint32_t segment = xcb_generate_id(c);
                xcb_generic_error_t* failed =
                    xcb_request_check(c, xcb_shm_attach_checked(c, segment, static_cast<uint32_t>(s->m_shmId), 0));
                if (failed == nullptr) {
                    s->m_shmSegment = segment;
                } else {
                    std::free(failed);  // a remote X server cannot see our memory: GetImage it is
                }
            }
            // Removed now: the segment lives while it is attached and goes when both sides end.
            shmctl(s->m_shmId, IPC_RMID, nullptr);
        }
    }
    xcb_flush(c);
    return s;
}

X11Screen::~X11Screen() {
    if (m_connection != nullptr) {
        if (m_shmSegment != 0) xcb_shm_detach(m_connection, m_shmSegment);
        if (m_damage != 0) xcb_damage_destroy(m_connection, m_damage);
        xcb_disconnect(m_connection);
    }
    if (m_shmAddress != nullptr) shmdt(m_shmAddress);
}

void X11Screen::SetSessionDepth(int depth) { m_depth = depth == 8 || depth == 16 ? depth : 24; }

Rgb X11Screen::ColourAt(int x, int y, int /*frame*/) const {
    const uint32_t p = m_pixels[static_cast<size_t>(y) * static_cast<size_t>(m_width) + static_cast<size_t>(x)];
    return {static_cast<uint8_t>(p >> 16), static_cast<uint8_t>(p >> 8), static_cast<uint8_t>(p)};
}

uint8_t X11Screen::IndexAt(int x, int y, int frame) const { return NearestTableIndex(ColourAt(x, y, frame)); }

bool X11Screen::CaptureWithSharedMemory(const PixelRect& r) {
    XcbReply<xcb_shm_get_image_reply_t> reply(xcb_shm_get_image_reply(
        m_connection,
        xcb_shm_get_image(m_connection, m_root, static_cast<int16_t>(r.x), static_cast<int16_t>(r.y),
                          static_cast<uint16_t>(r.width), static_cast<uint16_t>(r.height), kAllPlanes,
                          XCB_IMAGE_FORMAT_Z_PIXMAP, m_shmSegment, 0),
        nullptr));
    const size_t rowBytes = static_cast<size_t>(r.width) * 4;
    if (!reply || reply->size < rowBytes * static_cast<size_t>(r.height)) return false;
    for (int row = 0; row < r.height; ++row) {
        std::memcpy(&m_pixels[static_cast<size_t>(r.y + row) * static_cast<size_t>(m_width) + static_cast<size_t>(r.x)],
                    m_shmAddress + static_cast<size_t>(row) * rowBytes, rowBytes);
    }
    return true;
}

bool X11Screen::CaptureWithGetImage(const PixelRect& r) {
    XcbReply<xcb_get_image_reply_t> reply(xcb_get_image_reply(
        m_connection,
        xcb_get_image(m_connection, XCB_IMAGE_FORMAT_Z_PIXMAP, m_root, static_cast<int16_t>(r.x),
                      static_cast<int16_t>(r.y), static_cast<uint16_t>(r.width), static_cast<uint16_t>(r.height),
                      kAllPlanes),
        nullptr));
    const size_t rowBytes = static_cast<size_t>(r.width) * 4;
    if (!reply || static_cast<size_t>(xcb_get_image_data_length(reply.get())) < rowBytes * static_cast<size_t>(r.height)) {
        return false;
    }
    const uint8_t* data = xcb_get_image_data(reply.get());
    for (int row = 0; row < r.height; ++row) {
        std::memcpy(&m_pixels[static_cast<size_t>(r.y + row) * static_cast<size_t>(m_width) + static_cast<size_t>(r.x)],
                    data + static_cast<size_t>(row) * rowBytes, rowBytes);
    }
    return true;
}

bool X11Screen::Capture(const PixelRect& r) {
    if (r.width <= 0 || r.height <= 0) return true;
    return m_shmSegment != 0 ? CaptureWithSharedMemory(r) : CaptureWithGetImage(r);
}

std::vector<PixelRect> X11Screen::CaptureAll(int tile) {
    // Damage reported before this capture is in it.
    while (xcb_generic_event_t* event = xcb_poll_for_event(m_connection)) std::free(event);
    m_dirtyTiles.clear();
    if (!Capture({0, 0, m_width, m_height})) return {};
    if (m_damage == 0) m_previous = m_pixels;
    return ScreenTiles(m_width, m_height, tile);
}

void X11Screen::MarkDamage(const PixelRect& r, int tile) {
    const int columns = (m_width + tile - 1) / tile;
    const int rows = (m_height + tile - 1) / tile;
    if (m_dirtyTile != tile || m_dirtyTiles.size() != static_cast<size_t>(columns) * static_cast<size_t>(rows)) {
        m_dirtyTile = tile;
        m_dirtyTiles.assign(static_cast<size_t>(columns) * static_cast<size_t>(rows), false);
    }
    const int left = std::max(r.x, 0);
    const int top = std::max(r.y, 0);
    const int right = std::min(r.x + r.width, m_width);
    const int bottom = std::min(r.y + r.height, m_height);
    for (int ty = top / tile; ty * tile < bottom; ++ty) {
        for (int tx = left / tile; tx * tile < right; ++tx) {
            m_dirtyTiles[static_cast<size_t>(ty) * static_cast<size_t>(columns) + static_cast<size_t>(tx)] = true;
        }
    }
}

bool X11Screen::CaptureChanges(int tile, std::vector<PixelRect>& changed) {
    changed.clear();
    if (xcb_connection_has_error(m_connection) || tile <= 0) return false;
    const std::vector<PixelRect> tiles = ScreenTiles(m_width, m_height, tile);

    if (m_damage == 0) {
        if (!Capture({0, 0, m_width, m_height})) return false;
        for (const PixelRect& t : tiles) {
            bool differs = false;
            for (int y = t.y; y < t.y + t.height && !differs; ++y) {
                const size_t at = static_cast<size_t>(y) * static_cast<size_t>(m_width) + static_cast<size_t>(t.x);
                differs = std::memcmp(&m_pixels[at], &m_previous[at], static_cast<size_t>(t.width) * 4) != 0;
            }
            if (differs) changed.push_back(t);
        }
        m_previous = m_pixels;
        return true;
    }

    while (xcb_generic_event_t* event = xcb_poll_for_event(m_connection)) {
        if ((event->response_type & 0x7F) == m_damageEvent + XCB_DAMAGE_NOTIFY) {
            const auto* notify = reinterpret_cast<const xcb_damage_notify_event_t*>(event);
            MarkDamage({notify->area.x, notify->area.y, notify->area.width, notify->area.height}, tile);
        }
        std::free(event);
    }
    if (m_dirtyTile != tile) return true;
    PixelRect box{m_width, m_height, 0, 0};
    int right = 0;
    int bottom = 0;
    for (size_t i = 0; i < tiles.size() && i < m_dirtyTiles.size(); ++i) {
        if (!m_dirtyTiles[i]) continue;
        const PixelRect& t = tiles[i];
        changed.push_back(t);
        box.x = std::min(box.x, t.x);
        box.y = std::min(box.y, t.y);
        right = std::max(right, t.x + t.width);
        bottom = std::max(bottom, t.y + t.height);
    }
    std::fill(m_dirtyTiles.begin(), m_dirtyTiles.end(), false);
    if (changed.empty()) return true;
    // One request for the box around every changed tile: fewer round trips than one a tile.
    box.width = right - box.x;
    box.height = bottom - box.y;
    return Capture(box);
}

}  // namespace corvane::testserver
