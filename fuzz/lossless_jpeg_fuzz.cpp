// Arbitrary bytes through the lossless (SOF3) JPEG decoder. The first byte picks the output
// capacity.
#include <vector>

#include "display/lossless_jpeg.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const size_t capacity = (static_cast<size_t>(data[0]) + 1) * 1024;
    std::vector<uint8_t> out(capacity);
    (void)corvane::DecodeLosslessJpeg(data + 1, size - 1, out.data(), out.size());
    return 0;
}
