// The bodies of the messages the test server sends after login, in wire order (record
// header, record, payload), ready for a FrameBuilder to put into any envelope.
//
// Image updates carry the record header's format tag, so the client takes compform and
// depth from every update. The raw encoding (compform 4, the default) sends 24-bit pixels as
// the four bytes 0, blue, green, red (never the "unchanged" pattern CC CC CC CC, since the
// first byte is 0), 8-bit pixels as one colour-table index (never 255, the 8-bit
// "unchanged" marker); the other compforms encode as rectangle_encoders.h says.
//
// Pure functions: any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <string>
#include <vector>

#include "tools/testserver/desktop.h"

namespace corvane::testserver {

inline constexpr uint16_t kFormatTagValid = 257;
inline constexpr uint32_t kRawCompform = 4;
inline constexpr size_t kImageRecordSize = 8;
inline constexpr size_t kRectangleHeaderSize = 20;
inline constexpr size_t kColourTableRecordSize = 12;
inline constexpr uint32_t kColourEntrySize = 3;

// The compform an update of this desktop is sent in when `compform` is asked for: the
// planar ones draw only 24-bit pixels, so an 8-bit desktop goes raw instead.
[[nodiscard]] uint32_t CompformForDesktop(const PixelSource& desktop, uint32_t compform);

// An image update of `frame` holding `rects` (each inside the desktop), at the desktop's
// depth (8 when it is indexed, else 24), in `compform` as CompformForDesktop gives it. A
// planar update holds one rectangle covering all of `rects`: the client decodes every
// rectangle of such an update from the same data.
[[nodiscard]] std::vector<uint8_t> ImageUpdateBody(const PixelSource& desktop, int frame,
                                                   const std::vector<PixelRect>& rects,
                                                   uint32_t compform = kRawCompform);

// The whole 256-entry colour table of DesktopColourTable, from index 0.
[[nodiscard]] std::vector<uint8_t> ColourTableBody();

// A session-control message: the code, its first and second argument, every other word 0.
[[nodiscard]] std::vector<uint8_t> SessionControlBody(uint32_t code, uint32_t argument,
                                                      uint32_t secondArgument = 0);

// The session's clipboard: the record (length, 1) and the text, without a NUL.
[[nodiscard]] std::vector<uint8_t> ClipboardBody(std::string_view text);

// A bell that asks for a beep.
[[nodiscard]] std::vector<uint8_t> BellBody();
// A cursor movement: the client moves its pointer to this frame-buffer place.
[[nodiscard]] std::vector<uint8_t> CursorMovementBody(int32_t x, int32_t y);

// A cursor picture as a display gives it.
struct CursorPicture {
    int width = 0;
    int height = 0;
    int hotX = 0;
    int hotY = 0;
    std::vector<uint32_t> pixels;  // width × height, rows top down, 0xAARRGGBB premultiplied
};
// The widest and tallest cursor sent; larger pictures are cut to it around their top left.
inline constexpr int kMaxSentCursorSide = 64;
// A cursor shape in the source-and-mask form, which any client takes: mask bit set where the
// picture is more opaque than not, source bit set where it is light there.
[[nodiscard]] std::vector<uint8_t> CursorShapeBody(const CursorPicture& picture);

// A seamless window request (7001 create, 7002 destroy, 7007 move, 7010 map, 7011 unmap) for
// window `id`; a create carries its title, zero-terminated, behind the record.
struct WindowAnnouncement {
    uint32_t code = 0;
    uint32_t id = 0;
    int32_t x = 0;
    int32_t y = 0;
    int32_t width = 0;
    int32_t height = 0;
    uint32_t linkedId = 0;
    std::string title;
};
[[nodiscard]] std::vector<uint8_t> WindowRequestBody(const WindowAnnouncement& window);

}  // namespace corvane::testserver
