// Image-update records of arbitrary bytes through the planar run-length decoder, with the
// stream at the first rectangle's data (third byte of the input: 0) or further in.
#include "display/planar_rle.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const size_t streamOffset = corvane::kPlanarStreamInRecord + data[0] % 8;
    corvane::fuzz::RunRectangleDecoder(
        [streamOffset](corvane::FrameBuffer& fb, const uint8_t* record, size_t length,
                       int depth) { return corvane::DrawPlanarRectangles(fb, record, length, depth, streamOffset); },
        data + 1, size - 1);
    return 0;
}
