// Drawing requests (message type 2001) of the test server: every one carries the whole
// desktop as one frame, JFIF for compforms 101 and 102, VP8 for 201 (behind the 12-byte
// header: the frame's byte count, little-endian, and 8 zero bytes).
//
// The VP8 stream is a real video: one encoder per stream, key frame first, then inter
// frames, with two token partitions so the client's decoder threads have work to share.
// Encoding is deterministic (one encoder thread, a fixed speed), so a test can build the same
// stream and decode it itself. The desktop's colours go to 4:2:0 with the inverse of the conversion
// the client applies (Y = 0.299 R + 0.587 G + 0.114 B, U = 0.492 (B - Y), V = 0.877 (R - Y)).
//
// A DrawingStream belongs to one thread.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "tools/testserver/desktop.h"

namespace corvane::testserver {

inline constexpr uint32_t kCompformJfif1 = 101;
inline constexpr uint32_t kCompformJfif2 = 102;
inline constexpr uint32_t kCompformVideo = 201;
inline constexpr int kDrawingJfifQuality = 85;

[[nodiscard]] bool IsDrawingCompform(uint32_t compform);

// The desktop's colours as 4:2:0 planes: Y (width x height), then U and V ((width + 1) / 2
// x (height + 1) / 2 each), the chroma of each 2 x 2 block averaged.
[[nodiscard]] std::vector<uint8_t> DesktopI420(const Desktop& desktop, int frame);

class DrawingStream {
  public:
    DrawingStream(const Desktop& desktop, uint32_t compform);
    ~DrawingStream();
    DrawingStream(const DrawingStream&) = delete;
    DrawingStream& operator=(const DrawingStream&) = delete;

    // The frame data alone (JFIF stream, or VP8 header and frame) of desktop frame `frame`.
    // For VP8, frames must be asked for in order: each is coded against the one before.
    // Empty on failure.
    [[nodiscard]] std::vector<uint8_t> Frame(int frame);

    // The whole message body: record header (format tag 257, the compform, depth 24), the
    // 20-byte drawing-request record covering the desktop, then Frame(frame). Empty on failure.
    [[nodiscard]] std::vector<uint8_t> Body(int frame);

  private:
    struct Vp8;
    const Desktop& m_desktop;
    const uint32_t m_compform;
    std::unique_ptr<Vp8> m_vp8;
};

}  // namespace corvane::testserver
