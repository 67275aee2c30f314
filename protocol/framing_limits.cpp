#include "protocol/framing_limits.h"

#include <algorithm>
#include <cstdint>

namespace corvane {

size_t MessageBufferSize(int width, int height, int depth) {
    uint64_t pixels = static_cast<uint64_t>(std::max(width, 0)) * static_cast<uint64_t>(std::max(height, 0));
    uint64_t bytesPerPixel = depth == 8 ? 1 : depth == 16 ? 2 : 4;
    uint64_t size = pixels * bytesPerPixel + 2000;
    size += size / 2;
    return static_cast<size_t>(std::min<uint64_t>(size, kMaxFrameSize));
}

}  // namespace corvane
