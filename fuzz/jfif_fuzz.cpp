// Arbitrary bytes through the restricted JFIF decoder of drawing-request frames. The first
// byte picks the output capacity.
#include <vector>

#include "config/error_box.h"
#include "display/jfif_decoder.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    corvane::fuzz::QuietLog();
    if (size < 1) return 0;
    const size_t capacity = (static_cast<size_t>(data[0]) + 1) * 4096;
    std::vector<uint8_t> out(capacity);
    int width = 0;
    int height = 0;
    (void)corvane::DecodeJfif(data + 1, size - 1, out.data(), out.size(), width, height);
    return 0;
}
