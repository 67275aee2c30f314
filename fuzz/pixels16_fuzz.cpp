// Image-update records of arbitrary bytes through the pixels16 decoder.
#include "display/pixels16.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    corvane::fuzz::RunRectangleDecoder(
        [](corvane::FrameBuffer& fb, const uint8_t* record, size_t length, int depth) {
            return corvane::DrawPixel16Rectangles(fb, record, length, depth);
        },
        data, size);
    return 0;
}
