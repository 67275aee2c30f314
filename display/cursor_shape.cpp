#include "display/cursor_shape.h"

#include <algorithm>
#include <cstdio>
#include <span>

#include "config/log.h"
#include "protocol/records.h"

namespace corvane {

namespace {

constexpr int kCursorLogLevel = 62;
constexpr size_t kDumpBytesPerLine = 8;

// The record's words, as the server sent them.
struct ShapeHeader {
    uint32_t type;
    uint32_t width;
    uint32_t height;
    uint32_t hotX;
    uint32_t hotY;
};

// A bitmap of one bit per pixel in rows of whole bytes, cut to the bytes the plane holds.
struct BitPlane {
    std::span<const uint8_t> bytes;
    size_t rowBytes;
    bool leastSignificantFirst;

    // False for a pixel whose byte lies beyond the plane.
    [[nodiscard]] bool Holds(int x, int y) const {
        return static_cast<size_t>(y) * rowBytes + static_cast<size_t>(x) / 8 < bytes.size();
    }
    // Only for pixels the plane holds.
    [[nodiscard]] bool Bit(int x, int y) const {
        const uint8_t byte = bytes[static_cast<size_t>(y) * rowBytes + static_cast<size_t>(x) / 8];
        const int shift = leastSignificantFirst ? x % 8 : 7 - x % 8;
        return ((byte >> shift) & 1) != 0;
    }
};

size_t RowBytes(uint32_t width) { return (static_cast<size_t>(width) + 7) / 8; }

// How many bytes of shape data each 1-bit plane takes.
size_t PlaneBytes(uint32_t width, uint32_t height) {
    return std::min(RowBytes(width) * height, kCursorPlaneBytes);
}

bool DataHolds(std::span<const uint8_t> data, size_t needed, uint32_t type) {
    if (data.size() >= needed) return true;
    DebugPrint(0, "CURS: shape of type %u holds %zu data bytes, needs %zu: refused\n", type,
               data.size(), needed);
    return false;
}

bool WithinLimit(uint32_t width, uint32_t height) {
    if (width <= kMaxCursorSide && height <= kMaxCursorSide) return true;
    DebugPrint(0, "CURS: %ux%u shape refused: larger than %ux%u\n", width, height, kMaxCursorSide,
               kMaxCursorSide);
    return false;
}

bool NotEmpty(uint32_t width, uint32_t height) {
    if (width > 0 && height > 0) return true;
    DebugPrint(0, "CURS: empty %ux%u shape refused\n", width, height);
    return false;
}

// A hot spot must be one of the cursor's pixels; one outside is moved to the nearest edge.
void PlaceHotSpot(CursorImage& image, uint32_t hotX, uint32_t hotY) {
    const uint32_t lastX = static_cast<uint32_t>(image.width - 1);
    const uint32_t lastY = static_cast<uint32_t>(image.height - 1);
    if (hotX > lastX || hotY > lastY) {
        DebugPrint(0, "CURS: hot spot %u, %u lies outside the %dx%d cursor: moved inside\n", hotX,
                   hotY, image.width, image.height);
    }
    image.hotX = static_cast<int>(std::min(hotX, lastX));
    image.hotY = static_cast<int>(std::min(hotY, lastY));
}

CursorImage Picture(int width, int height) {
    CursorImage image;
    image.kind = CursorImage::Kind::Picture;
    image.width = width;
    image.height = height;
    image.normal.assign(static_cast<size_t>(width) * static_cast<size_t>(height), kCursorTransparent);
    return image;
}

void DumpBytes(std::span<const uint8_t> bytes) {
    if (!LogLevelPasses(kCursorLogLevel)) return;
    for (size_t i = 0; i + kDumpBytesPerLine <= bytes.size(); i += kDumpBytesPerLine) {
        const uint8_t* b = bytes.data() + i;
        DebugPrint(kCursorLogLevel, "%2.2x %2.2x %2.2x %2.2x %2.2x %2.2x %2.2x %2.2x \n", b[0], b[1],
                   b[2], b[3], b[4], b[5], b[6], b[7]);
    }
    // A last short line holds only the bytes there are.
    const size_t rest = bytes.size() % kDumpBytesPerLine;
    if (rest != 0) {
        char line[kDumpBytesPerLine * 3 + 2] = {};
        int at = 0;
        for (size_t i = bytes.size() - rest; i < bytes.size(); ++i) {
            at += std::snprintf(line + at, sizeof line - static_cast<size_t>(at), "%2.2x ", bytes[i]);
        }
        DebugPrint(kCursorLogLevel, "%s\n", line);
    }
}

CursorImage StandardShape(uint32_t type) {
    DebugPrint(kCursorLogLevel, "Using Windows Cursor Shape...\n");
    CursorImage image;
    image.standard = StandardCursorFromNumber(type & 0xFFFF);
    return image;
}

// AND and XOR planes as the platform cursor takes them: AND 1 keeps the screen, XOR 1
// lightens. A pixel that would invert the screen is shown black: toolkits cannot invert
// portably, and black stays visible on the light backgrounds such cursors are made for.
std::optional<CursorImage> MonochromeShape(std::span<const uint8_t> data, const ShapeHeader& shape,
                                           int systemCursorSize) {
    const uint32_t width = shape.width;
    const uint32_t height = shape.height;
    DebugPrint(kCursorLogLevel, "Using Windows Mono Bitmap Cursor...\n");
    DebugPrint(kCursorLogLevel, "CURS: (mono) max %dx%d  req %dx%d\n", systemCursorSize,
               systemCursorSize, static_cast<int>(width), static_cast<int>(height));
    DebugPrint(kCursorLogLevel, "CURS: hot %d, %d\n", static_cast<int>(shape.hotX),
               static_cast<int>(shape.hotY));
    if (!WithinLimit(width, height) || !NotEmpty(width, height)) return std::nullopt;
    const size_t plane = PlaneBytes(width, height);
    if (!DataHolds(data, 2 * plane, shape.type)) return std::nullopt;

    const BitPlane andPlane{data.first(plane), RowBytes(width), false};
    const BitPlane xorPlane{data.subspan(plane, plane), RowBytes(width), false};
    CursorImage image = Picture(static_cast<int>(width), static_cast<int>(height));
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            if (!andPlane.Holds(x, y)) continue;  // beyond the plane: AND 1, XOR 0
            const bool keep = andPlane.Bit(x, y);
            const bool lighten = xorPlane.Bit(x, y);
            uint32_t& pixel = image.normal[static_cast<size_t>(y) * width + static_cast<size_t>(x)];
            if (!keep) {
                pixel = lighten ? kCursorWhite : kCursorBlack;
            } else if (lighten) {
                pixel = kCursorBlack;
            }
        }
    }
    PlaceHotSpot(image, shape.hotX, shape.hotY);
    return image;
}

// Pixels with their own alpha are taken as they are; without any alpha, the mask decides:
// bit 1 shows the screen, bit 0 the pixel's colour.
std::optional<CursorImage> ColourShape(std::span<const uint8_t> data, const ShapeHeader& shape,
                                       int systemCursorSize) {
    const uint32_t width = shape.width;
    const uint32_t height = shape.height;
    DebugPrint(kCursorLogLevel, "Using Windows Color Bitmap Cursor...\n");
    DebugPrint(kCursorLogLevel, "CURS: (color) max %dx%d  req %dx%d\n", systemCursorSize,
               systemCursorSize, static_cast<int>(width), static_cast<int>(height));
    DebugPrint(kCursorLogLevel, "CURS: hot %d, %d\n", static_cast<int>(shape.hotX),
               static_cast<int>(shape.hotY));
    if (!WithinLimit(width, height) || !NotEmpty(width, height)) return std::nullopt;
    const size_t pixelBytes = size_t{width} * height * 4;
    const size_t maskBytes = RowBytes(width) * height;
    if (!DataHolds(data, pixelBytes + maskBytes, shape.type)) return std::nullopt;

    CursorImage image = Picture(static_cast<int>(width), static_cast<int>(height));
    bool anyAlpha = false;
    for (size_t i = 0; i < image.normal.size(); ++i) {
        const uint8_t* p = data.data() + i * 4;
        image.normal[i] = uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 |
                          uint32_t{p[3]} << 24;
        anyAlpha = anyAlpha || p[3] != 0;
    }
    if (!anyAlpha) {
        const BitPlane mask{data.subspan(pixelBytes, maskBytes), RowBytes(width), false};
        for (int y = 0; y < image.height; ++y) {
            for (int x = 0; x < image.width; ++x) {
                uint32_t& pixel = image.normal[static_cast<size_t>(y) * width + static_cast<size_t>(x)];
                pixel = mask.Bit(x, y) ? kCursorTransparent : pixel | kCursorBlack;
            }
        }
    }
    PlaceHotSpot(image, shape.hotX, shape.hotY);
    return image;
}

// Source and mask: mask 0 is transparent; under mask 1 a source bit 1 is white in the
// normal colouring and black in the reversed one. The shape's rows are laid into the
// cursor's rows one for one, so a shape narrower than the cursor keeps its form.
std::optional<CursorImage> SourceMaskShape(std::span<const uint8_t> data, const ShapeHeader& shape,
                                           int systemCursorSize) {
    const uint32_t width = shape.width;
    const uint32_t height = shape.height;
    DebugPrint(kCursorLogLevel, "Using Standard X11-style Cursor...\n");
    DebugPrint(kCursorLogLevel, "CURS: max %dx%d  req %dx%d\n", systemCursorSize, systemCursorSize,
               static_cast<int>(width), static_cast<int>(height));
    DebugPrint(kCursorLogLevel, "CURS: hot %d, %d\n", static_cast<int>(shape.hotX),
               static_cast<int>(shape.hotY));
    if (!WithinLimit(width, height)) return std::nullopt;
    int cursorWidth = systemCursorSize;
    int cursorHeight = systemCursorSize;
    if (static_cast<uint32_t>(cursorWidth) < width) {
        cursorWidth = cursorHeight = static_cast<int>(width);
        DebugPrint(kCursorLogLevel, "CURS: override max %dx%d\n", cursorWidth, cursorHeight);
    }
    const size_t plane = PlaneBytes(width, height);
    if (!DataHolds(data, 2 * plane, shape.type)) return std::nullopt;
    DumpBytes(data.first(plane));

    const BitPlane source{data.first(plane), RowBytes(width), true};
    const BitPlane mask{data.subspan(plane, plane), RowBytes(width), true};
    CursorImage image = Picture(cursorWidth, cursorHeight);
    image.reversed = image.normal;
    const int shownWidth = std::min(cursorWidth, static_cast<int>(width));
    const int shownHeight = std::min(cursorHeight, static_cast<int>(height));
    for (int y = 0; y < shownHeight; ++y) {
        for (int x = 0; x < shownWidth; ++x) {
            if (!mask.Holds(x, y) || !mask.Bit(x, y)) continue;
            const bool light = source.Bit(x, y);
            const size_t at = static_cast<size_t>(y) * static_cast<size_t>(cursorWidth) + static_cast<size_t>(x);
            image.normal[at] = light ? kCursorWhite : kCursorBlack;
            image.reversed[at] = light ? kCursorBlack : kCursorWhite;
        }
    }
    PlaceHotSpot(image, shape.hotX, shape.hotY);
    return image;
}

}  // namespace

StandardCursor StandardCursorFromNumber(uint32_t number) {
    switch (number) {
        case 32512: return StandardCursor::Arrow;
        case 32513: return StandardCursor::IBeam;
        case 32514: return StandardCursor::Wait;
        case 32515: return StandardCursor::Cross;
        case 32516: return StandardCursor::UpArrow;
        case 32640:  // the old name of the four-way arrow
        case 32646: return StandardCursor::SizeAll;
        case 32642: return StandardCursor::SizeNwse;
        case 32643: return StandardCursor::SizeNesw;
        case 32644: return StandardCursor::SizeWe;
        case 32645: return StandardCursor::SizeNs;
        case 32648: return StandardCursor::Forbidden;
        case 32649: return StandardCursor::Hand;
        case 32650: return StandardCursor::AppStarting;
        case 32651: return StandardCursor::Help;
        default: return StandardCursor::Arrow;
    }
}

std::optional<CursorImage> DecodeCursorShape(const uint8_t* record, size_t size, int systemCursorSize) {
    if (size < CursorShapeLayout::kData) {
        DebugPrint(0, "CURS: cursor-shape record of %zu bytes is too short: refused\n", size);
        return std::nullopt;
    }
    const ShapeHeader shape{
        LoadField<uint32_t>(record, CursorShapeLayout::kType),
        LoadField<uint32_t>(record, CursorShapeLayout::kWidth),
        LoadField<uint32_t>(record, CursorShapeLayout::kHeight),
        LoadField<uint32_t>(record, CursorShapeLayout::kHotX),
        LoadField<uint32_t>(record, CursorShapeLayout::kHotY),
    };
    const uint32_t type = shape.type;
    systemCursorSize = std::clamp(systemCursorSize, 1, static_cast<int>(kMaxCursorSide));
    const std::span<const uint8_t> data(record + CursorShapeLayout::kData, size - CursorShapeLayout::kData);
    DebugPrint(kCursorLogLevel, "Cursor Type/Shape: %d\n", static_cast<int>(type));

    if (type >= CursorShapeLayout::kFirstStandard) return StandardShape(type);
    switch (type) {
        case CursorShapeLayout::kMonochrome:
            return MonochromeShape(data, shape, systemCursorSize);
        case CursorShapeLayout::kColour:
            return ColourShape(data, shape, systemCursorSize);
        default:
            return SourceMaskShape(data, shape, systemCursorSize);
    }
}

}  // namespace corvane
