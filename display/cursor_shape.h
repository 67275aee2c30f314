// The cursor-shape message (type 1005): turns the server's shape into a CursorImage.
//
// The record is six words (host order once converted): unused, cursor type, width, height,
// hot spot x and y; the shape data follows as the server sent it. The cursor type says
// what the data is:
//   1                  monochrome: an AND plane then an XOR plane, most significant bit
//                      leftmost; a w × h picture
//   2                  colour: w × h pixels of 32 bits (bytes B, G, R, A) then a w × h mask
//                      of one bit per pixel, most significant bit leftmost
//   32512 (0x7F00) up  a standard cursor, numbered by the type's low 16 bits
//   any other          source-and-mask bitmaps, least significant bit leftmost, laid into a
//                      cursor of the platform's cursor size (made as wide and tall as the
//                      shape's width when that is wider); in two colourings
// Every 1-bit row is a whole number of bytes; a plane holds at most 2048 bytes and rows
// beyond that are transparent. The second plane starts where the first one ends.
//
// Nothing is read past the record bytes the message holds: a shape whose data is cut short,
// or whose width or height is above kMaxCursorSide, gets one log record and no cursor.
// Plain function: any thread (the dispatcher calls it on the receive thread).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "display/cursor_image.h"

namespace corvane {

struct CursorShapeLayout {
    static constexpr size_t kType = 4;    // u32
    static constexpr size_t kWidth = 8;   // u32
    static constexpr size_t kHeight = 12; // u32
    static constexpr size_t kHotX = 16;   // u32
    static constexpr size_t kHotY = 20;   // u32
    static constexpr size_t kData = 24;

    static constexpr uint32_t kMonochrome = 1;
    static constexpr uint32_t kColour = 2;
    static constexpr uint32_t kFirstStandard = 0x7F00;
};

// The platform's cursor size in both directions, which source-and-mask shapes are laid into.
inline constexpr int kSystemCursorSize = 32;
// The widest and tallest shape taken; anything larger is refused.
inline constexpr uint32_t kMaxCursorSide = 256;
// The most bytes one 1-bit plane holds.
inline constexpr size_t kCursorPlaneBytes = 2048;

// The standard cursor of a wire number; the arrow for a number without one.
[[nodiscard]] StandardCursor StandardCursorFromNumber(uint32_t number);

// Decodes a cursor-shape record (`record`: its six words in host order; `size`: the record
// bytes the message holds, shape data included). Writes the "CURS:" log records (level 62).
// Empty when the shape is refused.
[[nodiscard]] std::optional<CursorImage> DecodeCursorShape(const uint8_t* record, size_t size,
                                                           int systemCursorSize = kSystemCursorSize);

}  // namespace corvane
