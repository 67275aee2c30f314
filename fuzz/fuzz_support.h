// What every fuzz target shares: display events that go nowhere, a quiet log, and one frame
// buffer per depth, made once and reused by every input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>

#include "config/log.h"
#include "display/display_events.h"
#include "display/frame_buffer.h"

namespace corvane::fuzz {

class NullEvents : public DisplayEvents {
public:
    void FrameDrawn() override {}
    void Beep(int, int) override {}
    void SetTitle(const std::string&) override {}
    [[nodiscard]] std::string BaseTitle() const override { return "fuzz"; }
    [[nodiscard]] bool LocalMode() const override { return false; }
};

// Error records are written whatever the level: send them nowhere.
inline void QuietLog() {
    static const bool once = [] {
        OpenLog("/dev/null");
        return true;
    }();
    (void)once;
}

// The depth of an input from its first byte: one of the five the frame buffer takes.
inline int DepthFromByte(uint8_t byte) {
    static constexpr int kDepths[] = {8, 16, 24, 124, 224};
    return kDepths[byte % 5];
}

// A 61 x 37 buffer (odd sizes, so strides are padded) of `depth`.
inline FrameBuffer& FrameBufferOfDepth(int depth) {
    static std::map<int, std::unique_ptr<FrameBuffer>> buffers;
    std::unique_ptr<FrameBuffer>& buffer = buffers[depth];
    if (!buffer) {
        buffer = std::make_unique<FrameBuffer>();
        if (!buffer->CreateWorkBitmap(61, 37, depth, true)) __builtin_trap();
    }
    return *buffer;
}

// Runs one rectangle decoder: first byte the depth, second the depth the update claims
// (the decoders draw nothing when it differs), the rest the image-update record.
template <typename Decoder>
void RunRectangleDecoder(Decoder decode, const uint8_t* data, size_t size) {
    QuietLog();
    if (size < 2) return;
    FrameBuffer& frameBuffer = FrameBufferOfDepth(DepthFromByte(data[0]));
    (void)decode(frameBuffer, data + 2, size - 2, DepthFromByte(data[1]));
}

}  // namespace corvane::fuzz
