// Arbitrary bytes through the general JPEG decoder of image updates, then the decoded image
// through the JPEG rectangle handler. The first byte picks the output capacity.
#include <cstring>
#include <vector>

#include "display/jpeg_image_decoder.h"
#include "display/jpeg_rectangles.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    corvane::fuzz::QuietLog();
    if (size < 1) return 0;
    static corvane::JpegImageDecoder decoder;
    // At most 1 MiB of pixels behind the 28 bytes of image-update record.
    const size_t capacity = (static_cast<size_t>(data[0]) + 1) * 4096;
    constexpr size_t kRecord = 28;
    std::vector<uint8_t> message(kRecord + capacity);
    int width = 0;
    int height = 0;
    if (decoder.Decode(data + 1, size - 1, message.data() + kRecord, capacity, width, height) != 0) return 0;
    // The first rectangle covers the decoded image at the bitmap's top-left corner.
    const uint32_t count = 1;
    std::memcpy(message.data() + 4, &count, 4);
    (void)corvane::DrawJpegRectangles(corvane::fuzz::FrameBufferOfDepth(24), message.data(), kRecord, 24,
                                      message.data() + kRecord, width, height);
    return 0;
}
