// Arbitrary bytes as the frame of a video drawing request: the 12-byte header, then whatever
// libvpx makes of the rest, converted into a frame buffer. The first byte picks the depth.
#include "display/video_frames.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    corvane::fuzz::QuietLog();
    if (size < 1) return 0;
    corvane::FrameBuffer& frameBuffer =
        corvane::fuzz::FrameBufferOfDepth(corvane::fuzz::DepthFromByte(data[0]));
    // A fresh decoder each time, so that an input replays the same way on its own.
    corvane::VideoFrameDecoder decoder;
    (void)decoder.DecodeFrame(data + 1, size - 1, frameBuffer);
    return 0;
}
