// The mouse cursor the server asks for, in a form any toolkit can show without knowing the
// protocol: either one of the standard cursors, or a picture of 32-bit ARGB pixels with its
// hot spot. Shapes built from a source and a mask bitmap come in two colourings; the
// `ReverseCursorColor` setting picks one, and its hot key switches between them without a
// new message from the server.
//
// Plain values: built on the receive thread, copied to whoever shows them.
#pragma once

#include <cstdint>
#include <vector>

namespace corvane {

// The standard cursors a server can name, by their wire numbers (the low 16 bits of the
// cursor type). A number not listed here is shown as the arrow.
enum class StandardCursor : uint16_t {
    Arrow = 32512,
    IBeam = 32513,
    Wait = 32514,
    Cross = 32515,
    UpArrow = 32516,
    SizeAll = 32646,
    SizeNwse = 32642,
    SizeNesw = 32643,
    SizeWe = 32644,
    SizeNs = 32645,
    Forbidden = 32648,
    Hand = 32649,
    AppStarting = 32650,  // arrow with a busy sign
    Help = 32651,
};

// Pixel words of a cursor picture.
inline constexpr uint32_t kCursorTransparent = 0x00000000;
inline constexpr uint32_t kCursorBlack = 0xFF000000;
inline constexpr uint32_t kCursorWhite = 0xFFFFFFFF;

struct CursorImage {
    enum class Kind { Standard, Picture };

    Kind kind = Kind::Standard;
    StandardCursor standard = StandardCursor::Arrow;  // when kind is Standard

    // When kind is Picture: width × height pixels, rows top down, each 0xAARRGGBB with
    // straight (not premultiplied) alpha. The hot spot lies inside the picture.
    int width = 0;
    int height = 0;
    int hotX = 0;
    int hotY = 0;
    std::vector<uint32_t> normal;
    // The other colouring of a source-and-mask shape (light and dark swapped); empty for
    // shapes that have only one.
    std::vector<uint32_t> reversed;

    // The pixels to show for a `ReverseCursorColor` value: the normal colouring when it is
    // non-zero (the default), the reversed one when it is 0 and the shape has one.
    [[nodiscard]] const std::vector<uint32_t>& Pixels(int reverseCursorColor) const {
        return reverseCursorColor == 0 && !reversed.empty() ? reversed : normal;
    }

    bool operator==(const CursorImage&) const = default;
};

}  // namespace corvane
