// The test server's generated desktop: a gradient background, a few windows with title
// bars and lines of text-like glyphs, a task bar, and a box that moves one step per frame.
// Everything is a pure function of the geometry, the depth, the seed and the frame number,
// so a test can render here exactly what a client should show.
//
// Frames: the first image update of a session (the full screen) shows frame 0; every later
// update k (k = 1, 2, ...) sends the tiles ChangedTiles(k) of frame k. After a client has
// drawn n image updates, its screen shows frame n - 1; with moving updates off it shows
// frame 0 for the whole session.
//
// Depth 8 draws colour-table indices (DesktopColourTable; never index 255, which the raw
// encoding reserves for "unchanged"); any other depth draws 24-bit colours, which a 16-bit
// session receives cut to 5 bits a channel.
//
// A Desktop is immutable once built: any number of threads may read it.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "tools/testserver/pixel_source.h"

namespace corvane::testserver {

inline constexpr int kMaxDesktopWidth = 4096;
inline constexpr int kMaxDesktopHeight = 3072;
// The full screen goes out in tiles of at most this size; changes in tiles of kChangeTile.
inline constexpr int kFullScreenTile = 256;
inline constexpr int kChangeTile = 64;
inline constexpr uint32_t kDefaultSeed = 1;

struct DesktopLayout {
    int width = 1024;  // 1 to kMaxDesktopWidth; others are brought into that range
    int height = 768;  // 1 to kMaxDesktopHeight
    int depth = 24;    // 8, or anything else for 24-bit colour
    uint32_t seed = kDefaultSeed;
};

// The 256-entry colour table of depth 8: a 6x6x6 colour cube (indices 0 to 215), 39 greys
// (216 to 254) and black at 255.
[[nodiscard]] const std::array<Rgb, 256>& DesktopColourTable();
// The colour-table index that shows a colour best: a grey among the greys, else the cube.
[[nodiscard]] uint8_t NearestTableIndex(const Rgb& colour);

class Desktop final : public PixelSource {
  public:
    explicit Desktop(const DesktopLayout& layout);

    [[nodiscard]] int Width() const override { return m_width; }
    [[nodiscard]] int Height() const override { return m_height; }
    [[nodiscard]] bool Indexed() const override { return m_indexed; }
    [[nodiscard]] bool SixteenBit() const override { return m_sixteenBit; }

    // The pixel at (x, y), inside the desktop, in frame `frame` (negative counts as 0).
    // IndexAt is meaningful at depth 8 only; ColourAt is the colour shown at any depth.
    [[nodiscard]] uint8_t IndexAt(int x, int y, int frame) const override;
    [[nodiscard]] Rgb ColourAt(int x, int y, int frame) const override;

    // The desktop's windows, bottom first (a later one is drawn over an earlier one).
    [[nodiscard]] const std::vector<PixelRect>& Windows() const { return m_windows; }

    // Where the moving box is in a frame.
    [[nodiscard]] PixelRect MovingBox(int frame) const;
    // The whole screen in tiles of kFullScreenTile, row by row.
    [[nodiscard]] std::vector<PixelRect> FullScreenTiles() const;
    // The kChangeTile tiles, row by row, that hold every pixel in which frame `frame`
    // (1 or more) differs from frame - 1.
    [[nodiscard]] std::vector<PixelRect> ChangedTiles(int frame) const;

  private:
    [[nodiscard]] bool InBox(int x, int y, const PixelRect& box) const;
    [[nodiscard]] Rgb BoxColour(int x, int y, const PixelRect& box, int frame) const;

    int m_width;
    int m_height;
    bool m_indexed;
    bool m_sixteenBit;
    int m_boxSize;
    std::vector<PixelRect> m_windows;
    // Everything but the box: one index per pixel at depth 8, else red, green, blue.
    std::vector<uint8_t> m_still;
};

// The desktop as a client shows it after drawing frame `frame`: width x height pixels of
// red, green, blue, rows top to bottom, no padding (depth 8 through its colour table).
[[nodiscard]] std::vector<uint8_t> RenderDesktopRgb(const DesktopLayout& layout, int frame);

}  // namespace corvane::testserver
