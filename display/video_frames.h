// The VP8 video frames of drawing requests (compform 201).
//
// A frame is a 12-byte header (a 32-bit little-endian byte count and 8 unused bytes) and the
// VP8 frame. The libvpx decoder (4 threads of its own) is created on the first frame with the
// bitmap's size and lives as long as this object. Each decoded image is converted straight
// into the frame buffer, under its lock, from the top of its pixel memory: an image taller
// than the bitmap loses its first rows, a narrower or shorter one covers only its own area.
// Only 4-byte pixel buffers (depths 24, 124, 224) are drawn; the fourth byte is kept. A key
// frame whose image is more than twice the bitmap's width or height (and over 512 pixels) is
// refused before libvpx sees it.
//
// Receive thread only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "display/frame_buffer.h"

namespace corvane {

class VideoFrameDecoder {
  public:
    static constexpr size_t kHeaderSize = 12;
    // libvpx's threads wait on each other row by row: more of them than cores makes a busy
    // machine's decoder crawl, so they are capped at the cores and at this.
    static constexpr unsigned kMostThreads = 4;
    // The largest frame the client takes.
    static constexpr size_t kMaxFrameBytes = 4'194'304;

    VideoFrameDecoder();
    ~VideoFrameDecoder();
    VideoFrameDecoder(const VideoFrameDecoder&) = delete;
    VideoFrameDecoder& operator=(const VideoFrameDecoder&) = delete;

    // `data`/`length`: the drawing request's frame. 0 when it was taken (decoded or
    // reported), 2 when it is refused unread: larger than kMaxFrameBytes, or larger than the
    // bytes the message holds.
    [[nodiscard]] int DecodeFrame(const uint8_t* data, size_t length, FrameBuffer& frameBuffer);

    // Frames counted so far (refused ones too).
    [[nodiscard]] int FrameCount() const { return m_frames; }

  private:
    struct Codec;
    void Draw(FrameBuffer& frameBuffer);

    std::unique_ptr<Codec> m_codec;
    bool m_initLogged = false;
    int m_frames = 0;
};

}  // namespace corvane
