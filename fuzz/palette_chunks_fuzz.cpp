// Image-update records of arbitrary bytes through the palette chunks decoder.
#include "display/palette_chunks.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    corvane::fuzz::RunRectangleDecoder(
        [](corvane::FrameBuffer& fb, const uint8_t* record, size_t length, int depth) {
            return corvane::DrawPaletteChunkRectangles(fb, record, length, depth);
        },
        data, size);
    return 0;
}
