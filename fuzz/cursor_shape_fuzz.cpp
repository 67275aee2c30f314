// Cursor-shape records of arbitrary bytes (the six words in host order, then the shape).
#include "display/cursor_shape.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    corvane::fuzz::QuietLog();
    if (size < 1) return 0;
    // The system cursor size the shape is fitted to: 16 to 64.
    const int systemSize = 16 + data[0] % 49;
    (void)corvane::DecodeCursorShape(data + 1, size - 1, systemSize);
    return 0;
}
