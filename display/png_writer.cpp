#include "display/png_writer.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include <zlib.h>

#include "config/log.h"

namespace corvane {

namespace {

constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
// One IDAT chunk carries the whole image, and a chunk length is 31 bits.
constexpr uint64_t kMaxChunkData = 0x7FFFFFFF;

void PutU32(std::vector<uint8_t>& out, uint32_t value) {
    out.push_back(static_cast<uint8_t>(value >> 24));
    out.push_back(static_cast<uint8_t>(value >> 16));
    out.push_back(static_cast<uint8_t>(value >> 8));
    out.push_back(static_cast<uint8_t>(value));
}

// Appends a chunk: length, type, data, and the CRC over type and data.
void PutChunk(std::vector<uint8_t>& out, const char (&type)[5], const uint8_t* data, size_t size) {
    PutU32(out, static_cast<uint32_t>(size));
    const size_t typeAt = out.size();
    out.insert(out.end(), type, type + 4);
    if (size > 0) out.insert(out.end(), data, data + size);
    uLong crc = crc32(0L, Z_NULL, 0);
    crc = crc32_z(crc, out.data() + typeAt, 4 + size);
    PutU32(out, static_cast<uint32_t>(crc));
}

// Deflates the rows, each behind filter byte 0, into one zlib stream.
bool DeflateRows(const uint8_t* rgb, int width, int height, std::vector<uint8_t>& out) {
    z_stream stream{};
    if (deflateInit(&stream, Z_DEFAULT_COMPRESSION) != Z_OK) return false;
    std::unique_ptr<z_stream, int (*)(z_stream*)> guard(&stream, deflateEnd);

    const size_t rowBytes = static_cast<size_t>(width) * 3;
    uint8_t filter = 0;
    uint8_t chunk[16384];
    auto feed = [&](const uint8_t* in, size_t size, int flush) {
        stream.next_in = const_cast<Bytef*>(in);
        stream.avail_in = static_cast<uInt>(size);
        do {
            stream.next_out = chunk;
            stream.avail_out = sizeof chunk;
            int result = deflate(&stream, flush);
            if (result == Z_STREAM_ERROR) return false;
            out.insert(out.end(), chunk, chunk + (sizeof chunk - stream.avail_out));
            if (result == Z_STREAM_END) return true;
        } while (stream.avail_out == 0 || stream.avail_in > 0);
        return flush != Z_FINISH;
    };
    for (int row = 0; row < height; ++row) {
        if (!feed(&filter, 1, Z_NO_FLUSH)) return false;
        // A row of a huge image may exceed what one call takes.
        const uint8_t* line = rgb + rowBytes * static_cast<size_t>(row);
        for (size_t done = 0; done < rowBytes;) {
            size_t part = std::min<size_t>(rowBytes - done, 1u << 30);
            if (!feed(line + done, part, Z_NO_FLUSH)) return false;
            done += part;
        }
    }
    return feed(nullptr, 0, Z_FINISH);
}

}  // namespace

bool WritePng(const std::string& path, const uint8_t* rgb, int width, int height) {
    if (rgb == nullptr || width <= 0 || height <= 0) {
        DebugPrint(0, "PNG: cannot write a %dx%d image to %s\n", width, height, path.c_str());
        return false;
    }

    std::vector<uint8_t> idat;
    if (!DeflateRows(rgb, width, height, idat) || idat.size() > kMaxChunkData) {
        DebugPrint(0, "PNG: compressing the %dx%d image for %s failed\n", width, height,
                   path.c_str());
        return false;
    }

    std::vector<uint8_t> png(kSignature, kSignature + sizeof kSignature);
    png.reserve(sizeof kSignature + 25 + idat.size() + 12 + 12);
    uint8_t ihdr[13] = {};
    ihdr[0] = static_cast<uint8_t>(width >> 24);
    ihdr[1] = static_cast<uint8_t>(width >> 16);
    ihdr[2] = static_cast<uint8_t>(width >> 8);
    ihdr[3] = static_cast<uint8_t>(width);
    ihdr[4] = static_cast<uint8_t>(height >> 24);
    ihdr[5] = static_cast<uint8_t>(height >> 16);
    ihdr[6] = static_cast<uint8_t>(height >> 8);
    ihdr[7] = static_cast<uint8_t>(height);
    ihdr[8] = 8;  // bits per channel
    ihdr[9] = 2;  // colour type: RGB
    // compression 0 (deflate), filter method 0, no interlace
    PutChunk(png, "IHDR", ihdr, sizeof ihdr);
    PutChunk(png, "IDAT", idat.data(), idat.size());
    PutChunk(png, "IEND", nullptr, 0);

    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "wb"), std::fclose);
    if (!file) {
        DebugPrint(0, "PNG: cannot open %s for writing\n", path.c_str());
        return false;
    }
    bool written = std::fwrite(png.data(), 1, png.size(), file.get()) == png.size();
    written = std::fclose(file.release()) == 0 && written;
    if (!written) DebugPrint(0, "PNG: writing %s failed\n", path.c_str());
    return written;
}

}  // namespace corvane
