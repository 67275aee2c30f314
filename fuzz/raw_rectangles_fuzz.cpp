// Image-update records of arbitrary bytes through the raw rectangles decoder.
#include "display/raw_rectangles.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    corvane::fuzz::RunRectangleDecoder(
        [](corvane::FrameBuffer& fb, corvane::DisplayEvents& events, const uint8_t* record, size_t length, int depth) {
            return corvane::DrawRawRectangles(fb, events, record, length, depth);
        },
        data, size);
    return 0;
}
