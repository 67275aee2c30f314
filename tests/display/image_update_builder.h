// Image-update records for tests, as the dispatcher hands them on: image type and rectangle
// count in host order, each rectangle's header and data in wire order.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <optional>
#include <vector>

namespace corvane::test {

inline void PutBig32(std::vector<uint8_t>& out, uint32_t value) {
    out.push_back(static_cast<uint8_t>(value >> 24));
    out.push_back(static_cast<uint8_t>(value >> 16));
    out.push_back(static_cast<uint8_t>(value >> 8));
    out.push_back(static_cast<uint8_t>(value));
}

inline void PutHost32(std::vector<uint8_t>& out, uint32_t value) {
    uint8_t bytes[4];
    std::memcpy(bytes, &value, 4);
    out.insert(out.end(), bytes, bytes + 4);
}

struct RectSpec {
    int32_t x = 0, y = 0, width = 0, height = 0;
    std::vector<uint8_t> data = {};
    std::optional<uint32_t> declaredSize = std::nullopt;  // the header's data size, when it lies
};

// `count` defaults to the number of rectangles given.
inline std::vector<uint8_t> ImageUpdateRecord(const std::vector<RectSpec>& rects,
                                              std::optional<uint32_t> count = std::nullopt) {
    std::vector<uint8_t> record;
    PutHost32(record, 0);
    PutHost32(record, count.value_or(static_cast<uint32_t>(rects.size())));
    for (const RectSpec& r : rects) {
        PutBig32(record, r.declaredSize.value_or(static_cast<uint32_t>(r.data.size())));
        PutBig32(record, static_cast<uint32_t>(r.x));
        PutBig32(record, static_cast<uint32_t>(r.y));
        PutBig32(record, static_cast<uint32_t>(r.width));
        PutBig32(record, static_cast<uint32_t>(r.height));
        record.insert(record.end(), r.data.begin(), r.data.end());
    }
    return record;
}

// A heap copy of exactly `size` bytes, so that AddressSanitizer catches any read past it.
struct ExactBytes {
    ExactBytes(const std::vector<uint8_t>& bytes, size_t size)
        : data(std::make_unique<uint8_t[]>(size)), size(size) {
        std::memcpy(data.get(), bytes.data(), std::min(size, bytes.size()));
    }
    explicit ExactBytes(const std::vector<uint8_t>& bytes) : ExactBytes(bytes, bytes.size()) {}
    std::unique_ptr<uint8_t[]> data;
    size_t size;
};

}  // namespace corvane::test
