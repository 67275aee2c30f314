// Reads the 8-bit RGB PNG files the client writes as screenshots (filter type 0 rows), so
// the tests can compare them pixel by pixel.
#pragma once

#include <arpa/inet.h>
#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace corvane::test {

struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;  // top row first, 3 bytes per pixel
};

inline bool ReadRgbPng(const std::string& bytes, RgbImage& image) {
    static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (bytes.size() < 8 || std::memcmp(bytes.data(), kSignature, 8) != 0) return false;
    std::string idat;
    size_t at = 8;
    while (at + 12 <= bytes.size()) {
        uint32_t length;
        std::memcpy(&length, bytes.data() + at, 4);
        length = ntohl(length);
        std::string type = bytes.substr(at + 4, 4);
        if (at + 12 + length > bytes.size()) return false;
        const char* data = bytes.data() + at + 8;
        if (type == "IHDR") {
            uint32_t w, h;
            std::memcpy(&w, data, 4);
            std::memcpy(&h, data + 4, 4);
            image.width = static_cast<int>(ntohl(w));
            image.height = static_cast<int>(ntohl(h));
            if (data[8] != 8 || data[9] != 2) return false;  // 8-bit RGB
        } else if (type == "IDAT") {
            idat.append(data, length);
        }
        at += 12 + length;
    }
    size_t row = static_cast<size_t>(image.width) * 3 + 1;
    std::vector<uint8_t> raw(row * image.height);
    uLongf size = raw.size();
    if (uncompress(raw.data(), &size, reinterpret_cast<const Bytef*>(idat.data()), idat.size()) != Z_OK ||
        size != raw.size()) {
        return false;
    }
    image.rgb.clear();
    for (int y = 0; y < image.height; ++y) {
        if (raw[y * row] != 0) return false;
        image.rgb.insert(image.rgb.end(), raw.begin() + y * row + 1, raw.begin() + (y + 1) * row);
    }
    return true;
}

}  // namespace corvane::test
