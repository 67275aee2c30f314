// What the image-update encoders read pixels from: the generated desktop (a pure function of
// the frame number) or a captured X11 screen (which ignores the frame number and shows what
// was last captured). Implementations say which threads may read them.
#pragma once

#include <cstdint>

namespace corvane::testserver {

struct Rgb {
    uint8_t red = 0;
    uint8_t green = 0;
    uint8_t blue = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

struct PixelRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    friend bool operator==(const PixelRect&, const PixelRect&) = default;
};

class PixelSource {
  public:
    virtual ~PixelSource() = default;

    [[nodiscard]] virtual int Width() const = 0;
    [[nodiscard]] virtual int Height() const = 0;
    // Depth 8: pixels are indices into DesktopColourTable (IndexAt is meaningful).
    [[nodiscard]] virtual bool Indexed() const = 0;
    // Depth 16: colours are cut to 5 bits a channel when they are sent.
    [[nodiscard]] virtual bool SixteenBit() const = 0;
    // The pixel at (x, y), inside the source, in frame `frame`.
    [[nodiscard]] virtual uint8_t IndexAt(int x, int y, int frame) const = 0;
    [[nodiscard]] virtual Rgb ColourAt(int x, int y, int frame) const = 0;
};

}  // namespace corvane::testserver
