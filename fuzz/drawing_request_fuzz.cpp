// Arbitrary bytes as a JFIF drawing request: the first byte picks the depth and the thread
// limit, the next 16 are x, y, width and height (little-endian, any value), the rest is the
// frame, decoded on a worker and copied, clipped, into the frame buffer.
#include <cstring>

#include "display/drawing_requests.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    corvane::fuzz::QuietLog();
    constexpr size_t kHeader = 17;
    if (size < kHeader) return 0;
    static corvane::fuzz::NullEvents events;
    corvane::FrameBuffer& frameBuffer =
        corvane::fuzz::FrameBufferOfDepth(corvane::fuzz::DepthFromByte(data[0]));
    int32_t rect[4];
    std::memcpy(rect, data + 1, sizeof rect);
    corvane::DrawingRequestEngine engine(frameBuffer, events);
    engine.SetThreadLimit(data[0] >> 4);
    (void)engine.StartFrame(data + kHeader, size - kHeader, rect[0], rect[1], rect[2], rect[3]);
    engine.WaitForIdle();
    return 0;
}
