// A real X11 display as the pixels a session sends: the root window captured through shared
// memory (MIT-SHM; plain GetImage where the extension is missing), and what changed since the
// last look found through DAMAGE (or, where that is missing, by comparing tiles of a fresh
// capture with the previous one).
//
// Only 24- and 32-bit-per-pixel TrueColor roots are served (what Xvfb's default gives); Open
// says why it refuses any other. The frame number the encoders pass is ignored: the pixels are
// those of the last capture. One thread uses an X11Screen (the one serving the session).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tools/testserver/pixel_source.h"

struct xcb_connection_t;

namespace corvane::testserver {

class X11Screen final : public PixelSource {
  public:
    // Connects to `display` (empty: $DISPLAY). Null with the reason in `error`.
    [[nodiscard]] static std::unique_ptr<X11Screen> Open(const std::string& display, std::string& error);
    ~X11Screen() override;
    X11Screen(const X11Screen&) = delete;
    X11Screen& operator=(const X11Screen&) = delete;

    // The session's depth (8, 16 or 24) decides how the pixels are offered to the encoders.
    void SetSessionDepth(int depth);

    [[nodiscard]] int Width() const override { return m_width; }
    [[nodiscard]] int Height() const override { return m_height; }
    [[nodiscard]] bool Indexed() const override { return m_depth == 8; }
    [[nodiscard]] bool SixteenBit() const override { return m_depth == 16; }
    [[nodiscard]] uint8_t IndexAt(int x, int y, int frame) const override;
    [[nodiscard]] Rgb ColourAt(int x, int y, int frame) const override;

    // Captures the whole screen and forgets the changes seen so far. The screen in tiles
    // of at most `tile` pixels, row by row.
    [[nodiscard]] std::vector<PixelRect> CaptureAll(int tile);

    // Captures what changed since the last call (or CaptureAll) and returns it as tiles of
    // `tile` pixels, row by row; empty when nothing changed. False when the display is gone.
    [[nodiscard]] bool CaptureChanges(int tile, std::vector<PixelRect>& changed);

    [[nodiscard]] bool HasDamage() const { return m_damage != 0; }
    [[nodiscard]] bool HasSharedMemory() const { return m_shmSegment != 0; }

  private:
    X11Screen() = default;
    bool Capture(const PixelRect& r);
    bool CaptureWithSharedMemory(const PixelRect& r);
    bool CaptureWithGetImage(const PixelRect& r);
    void MarkDamage(const PixelRect& r, int tile);

    xcb_connection_t* m_connection = nullptr;
    uint32_t m_root = 0;
    int m_width = 0;
    int m_height = 0;
    int m_depth = 24;
    uint8_t m_damageEvent = 0;  // the first event of the DAMAGE extension
    uint32_t m_damage = 0;      // 0: no DAMAGE; tiles are compared instead
    uint32_t m_shmSegment = 0;  // 0: no MIT-SHM
    int m_shmId = -1;
    uint8_t* m_shmAddress = nullptr;
    // The last capture: blue, green, red, unused, row by row without padding.
    std::vector<uint32_t> m_pixels;
    std::vector<uint32_t> m_previous;  // for the tile comparison
    std::vector<bool> m_dirtyTiles;    // tiles that DAMAGE reported since the last capture
    int m_dirtyTile = 0;               // the tile size of m_dirtyTiles
};

// The tiles of at most `tile` pixels, row by row, that cover `width` x `height`.
[[nodiscard]] std::vector<PixelRect> ScreenTiles(int width, int height, int tile);

}  // namespace corvane::testserver
