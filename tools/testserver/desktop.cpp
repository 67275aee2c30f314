#include "tools/testserver/desktop.h"

#include <algorithm>
#include <cstdlib>
#include <set>
#include <utility>

namespace corvane::testserver {

namespace {

constexpr int kBoxSize = 64;
constexpr int kBoxStepX = 8;
constexpr int kBoxStepY = 5;
constexpr int kTaskBarHeight = 28;
constexpr int kTitleBarHeight = 20;
constexpr int kGlyphWidth = 7;
constexpr int kGlyphHeight = 14;
constexpr int kCubeLevels = 6;
constexpr int kCubeStep = 51;  // 255 / (levels - 1)
constexpr int kFirstGrey = 216;
constexpr int kGreyLevels = 39;

constexpr Rgb kTitleColours[] = {
    {40, 80, 160}, {150, 60, 60}, {50, 120, 70}, {110, 70, 140}, {160, 120, 40},
};
constexpr Rgb kBoxColours[] = {
    {230, 60, 60}, {230, 170, 40}, {80, 200, 80}, {40, 170, 220}, {90, 90, 230}, {200, 80, 200},
};
constexpr Rgb kPaper{240, 240, 235};
constexpr Rgb kInk{30, 30, 40};
constexpr Rgb kLinkInk{20, 60, 190};
constexpr Rgb kFrame{60, 60, 70};
constexpr Rgb kWhite{255, 255, 255};
constexpr Rgb kBoxRing{250, 250, 250};
constexpr Rgb kBoxEdge{20, 20, 20};
constexpr Rgb kTaskBar{200, 200, 205};

// A well-mixed 64-bit value of a few integers: the only source of "randomness", so the
// desktop is the same on every machine.
uint64_t Hash(uint64_t a, uint64_t b = 0, uint64_t c = 0, uint64_t d = 0) {
    uint64_t h = a * 0x9E3779B97F4A7C15ULL;
    for (uint64_t v : {b, c, d}) {
        h ^= v + 0x632BE59BD9B4E019ULL + (h << 6) + (h >> 2);
        h ^= h >> 31;
        h *= 0xBF58476D1CE4E5B9ULL;
        h ^= h >> 29;
    }
    return h;
}


// Bounces between 0 and range.
int Triangle(int64_t t, int range) {
    if (range <= 0) return 0;
    const int64_t period = 2 * static_cast<int64_t>(range);
    const int64_t phase = t % period;
    return static_cast<int>(phase <= range ? phase : period - phase);
}

// The still picture, drawn in 24-bit colour.
class Canvas {
  public:
    Canvas(int width, int height) : m_width(width), m_height(height), m_pixels(size_t(width) * height) {}

    void Put(int x, int y, const Rgb& colour) {
        if (x >= 0 && y >= 0 && x < m_width && y < m_height) m_pixels[size_t(y) * m_width + x] = colour;
    }
    void Fill(const PixelRect& r, const Rgb& colour) {
        for (int y = std::max(r.y, 0); y < std::min(r.y + r.height, m_height); ++y) {
            for (int x = std::max(r.x, 0); x < std::min(r.x + r.width, m_width); ++x) {
                m_pixels[size_t(y) * m_width + x] = colour;
            }
        }
    }
    // A line of text-like glyphs from (x, y), at most `cells` glyph cells wide.
    void Text(int x, int y, int cells, uint64_t key, const Rgb& ink) {
        for (int cell = 0; cell < cells; ++cell) {
            const uint64_t bits = Hash(key, static_cast<uint64_t>(cell));
            if (bits % 6 == 0) continue;  // a blank between words
            for (int gy = 0; gy < 9; ++gy) {
                for (int gx = 0; gx < 5; ++gx) {
                    if ((bits >> (8 + gy * 5 + gx)) & 1) Put(x + cell * kGlyphWidth + 1 + gx, y + 2 + gy, ink);
                }
            }
        }
    }
    [[nodiscard]] const Rgb& At(size_t i) const { return m_pixels[i]; }

  private:
    int m_width;
    int m_height;
    std::vector<Rgb> m_pixels;
};

void DrawBackground(Canvas& canvas, int width, int height, uint32_t seed) {
    const int tint = static_cast<int>(Hash(seed) % 60);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            canvas.Put(x, y,
                       {static_cast<uint8_t>(20 + 70 * y / height), static_cast<uint8_t>(50 + 90 * x / width),
                        static_cast<uint8_t>(110 + tint + 40 * (x + y) / (width + height))});
        }
    }
}

int WindowCount(uint32_t seed) { return 3 + static_cast<int>(seed % 3); }

PixelRect WindowRect(int width, int height, uint32_t seed, int index) {
    const int usableHeight = std::max(1, height - kTaskBarHeight);
    const int w = width / 4 + static_cast<int>(Hash(seed, index, 1) % static_cast<uint64_t>(width / 4 + 1));
    const int h = usableHeight / 4 + static_cast<int>(Hash(seed, index, 2) % static_cast<uint64_t>(usableHeight / 4 + 1));
    const int x = static_cast<int>(Hash(seed, index, 3) % static_cast<uint64_t>(std::max(1, width - w)));
    const int y = static_cast<int>(Hash(seed, index, 4) % static_cast<uint64_t>(std::max(1, usableHeight - h)));
    return {x, y, w, h};
}

void DrawWindow(Canvas& canvas, int width, int height, uint32_t seed, int index) {
    const auto [x, y, w, h] = WindowRect(width, height, seed, index);
    canvas.Fill({x, y, w, h}, kFrame);
    canvas.Fill({x + 1, y + 1, w - 2, kTitleBarHeight - 1},
                kTitleColours[(seed + static_cast<uint32_t>(index)) % std::size(kTitleColours)]);
    canvas.Text(x + 6, y + 3, std::min(12, (w - 12) / kGlyphWidth), Hash(seed, index, 5), kWhite);
    canvas.Fill({x + 1, y + kTitleBarHeight, w - 2, h - kTitleBarHeight - 1}, kPaper);
    const int cellsPerLine = (w - 16) / kGlyphWidth;
    int line = 0;
    for (int top = y + kTitleBarHeight + 6; top + kGlyphHeight < y + h - 4; top += kGlyphHeight, ++line) {
        const uint64_t key = Hash(seed, index, 6, static_cast<uint64_t>(line));
        if (key % 7 == 0) continue;  // a paragraph break
        const int cells = cellsPerLine * static_cast<int>(30 + key % 66) / 100;
        canvas.Text(x + 8, top, cells, key, key % 5 == 0 ? kLinkInk : kInk);
    }
}

void DrawTaskBar(Canvas& canvas, int width, int height, uint32_t seed) {
    if (height < 4 * kTaskBarHeight) return;
    const int top = height - kTaskBarHeight;
    canvas.Fill({0, top, width, kTaskBarHeight}, kTaskBar);
    canvas.Fill({0, top, width, 1}, kWhite);
    for (int button = 0; (button + 1) * 124 < width; ++button) {
        const int left = 4 + button * 124;
        canvas.Fill({left, top + 4, 118, kTaskBarHeight - 8}, kFrame);
        canvas.Fill({left + 1, top + 5, 116, kTaskBarHeight - 10}, kPaper);
        canvas.Text(left + 4, top + 6, 14, Hash(seed, 99, static_cast<uint64_t>(button)), kInk);
    }
}

}  // namespace

uint8_t NearestTableIndex(const Rgb& colour) {
    if (colour.red == colour.green && colour.green == colour.blue) {
        return static_cast<uint8_t>(kFirstGrey + (colour.red * (kGreyLevels - 1) + 127) / 255);
    }
    auto level = [](uint8_t v) { return (v + kCubeStep / 2) / kCubeStep; };
    return static_cast<uint8_t>(level(colour.red) * kCubeLevels * kCubeLevels +
                                level(colour.green) * kCubeLevels + level(colour.blue));
}

const std::array<Rgb, 256>& DesktopColourTable() {
    static const std::array<Rgb, 256> table = [] {
        std::array<Rgb, 256> colours{};
        for (int i = 0; i < kFirstGrey; ++i) {
            colours[i] = {static_cast<uint8_t>(i / 36 * kCubeStep), static_cast<uint8_t>(i / 6 % 6 * kCubeStep),
                          static_cast<uint8_t>(i % 6 * kCubeStep)};
        }
        for (int k = 0; k < kGreyLevels; ++k) {
            const auto grey = static_cast<uint8_t>(k * 255 / (kGreyLevels - 1));
            colours[kFirstGrey + k] = {grey, grey, grey};
        }
        return colours;  // 255 stays black
    }();
    return table;
}

Desktop::Desktop(const DesktopLayout& layout)
    : m_width(std::clamp(layout.width, 1, kMaxDesktopWidth)),
      m_height(std::clamp(layout.height, 1, kMaxDesktopHeight)),
      m_indexed(layout.depth == 8),
      m_sixteenBit(layout.depth == 16),
      m_boxSize(std::min({kBoxSize, m_width, m_height})) {
    Canvas canvas(m_width, m_height);
    DrawBackground(canvas, m_width, m_height, layout.seed);
    for (int i = 0; i < WindowCount(layout.seed); ++i) {
        DrawWindow(canvas, m_width, m_height, layout.seed, i);
        m_windows.push_back(WindowRect(m_width, m_height, layout.seed, i));
    }
    DrawTaskBar(canvas, m_width, m_height, layout.seed);

    const size_t pixels = size_t(m_width) * m_height;
    m_still.resize(m_indexed ? pixels : pixels * 3);
    for (size_t i = 0; i < pixels; ++i) {
        const Rgb& colour = canvas.At(i);
        if (m_indexed) {
            m_still[i] = NearestTableIndex(colour);
        } else {
            m_still[i * 3] = colour.red;
            m_still[i * 3 + 1] = colour.green;
            m_still[i * 3 + 2] = colour.blue;
        }
    }
}

PixelRect Desktop::MovingBox(int frame) const {
    const int64_t t = std::max(frame, 0);
    const int rangeX = m_width - m_boxSize;
    const int rangeY = m_height - m_boxSize;
    return {Triangle(t * kBoxStepX + m_width / 3, rangeX), Triangle(t * kBoxStepY + m_height / 5, rangeY),
            m_boxSize, m_boxSize};
}

bool Desktop::InBox(int x, int y, const PixelRect& box) const {
    return x >= box.x && y >= box.y && x < box.x + box.width && y < box.y + box.height;
}

Rgb Desktop::BoxColour(int x, int y, const PixelRect& box, int frame) const {
    const int bx = x - box.x;
    const int by = y - box.y;
    if (bx == 0 || by == 0 || bx == box.width - 1 || by == box.height - 1) return kBoxEdge;
    // Square rings 8 pixels wide around the centre; the coloured ones change every frame.
    const int ring = std::max(std::abs(2 * bx + 1 - box.width), std::abs(2 * by + 1 - box.height)) / 16;
    if (ring % 2 == 1) return kBoxRing;
    return kBoxColours[(std::max(frame, 0) + ring / 2) % std::size(kBoxColours)];
}

uint8_t Desktop::IndexAt(int x, int y, int frame) const {
    const PixelRect box = MovingBox(frame);
    if (InBox(x, y, box)) return NearestTableIndex(BoxColour(x, y, box, frame));
    return m_indexed ? m_still[size_t(y) * m_width + x] : NearestTableIndex(ColourAt(x, y, frame));
}

Rgb Desktop::ColourAt(int x, int y, int frame) const {
    if (m_indexed) return DesktopColourTable()[IndexAt(x, y, frame)];
    const PixelRect box = MovingBox(frame);
    if (InBox(x, y, box)) return BoxColour(x, y, box, frame);
    const size_t i = (size_t(y) * m_width + x) * 3;
    return {m_still[i], m_still[i + 1], m_still[i + 2]};
}

std::vector<PixelRect> Desktop::FullScreenTiles() const {
    std::vector<PixelRect> tiles;
    for (int y = 0; y < m_height; y += kFullScreenTile) {
        for (int x = 0; x < m_width; x += kFullScreenTile) {
            tiles.push_back({x, y, std::min(kFullScreenTile, m_width - x), std::min(kFullScreenTile, m_height - y)});
        }
    }
    return tiles;
}

std::vector<PixelRect> Desktop::ChangedTiles(int frame) const {
    std::set<std::pair<int, int>> cells;  // (row, column): row by row
    for (const PixelRect& box : {MovingBox(frame - 1), MovingBox(frame)}) {
        for (int row = box.y / kChangeTile; row <= (box.y + box.height - 1) / kChangeTile; ++row) {
            for (int column = box.x / kChangeTile; column <= (box.x + box.width - 1) / kChangeTile; ++column) {
                cells.insert({row, column});
            }
        }
    }
    std::vector<PixelRect> tiles;
    for (auto [row, column] : cells) {
        const int x = column * kChangeTile;
        const int y = row * kChangeTile;
        tiles.push_back({x, y, std::min(kChangeTile, m_width - x), std::min(kChangeTile, m_height - y)});
    }
    return tiles;
}

std::vector<uint8_t> RenderDesktopRgb(const DesktopLayout& layout, int frame) {
    const Desktop desktop(layout);
    std::vector<uint8_t> rgb(size_t(desktop.Width()) * desktop.Height() * 3);
    size_t i = 0;
    for (int y = 0; y < desktop.Height(); ++y) {
        for (int x = 0; x < desktop.Width(); ++x) {
            const Rgb colour = desktop.ColourAt(x, y, frame);
            rgb[i++] = colour.red;
            rgb[i++] = colour.green;
            rgb[i++] = colour.blue;
        }
    }
    return rgb;
}

}  // namespace corvane::testserver
