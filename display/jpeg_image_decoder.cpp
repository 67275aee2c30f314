#include "display/jpeg_image_decoder.h"

#include <algorithm>
#include <climits>
#include <cstdio>

#include <turbojpeg.h>

#include "config/log.h"
#include "display/lossless_jpeg.h"

namespace corvane {

namespace {

int Failed(const char* step, const char* why) {
    std::fprintf(stderr, "JPEGIPP: decoder.%s() failed: %s\n", step, why);
    DebugPrint(0, "JPEGIPP: decoder.%s() failed: %s\n", step, why);
    return -1;
}

bool ArithmeticOrHierarchical(uint8_t marker) {
    return (marker >= 0xC5 && marker <= 0xC7) || (marker >= 0xC9 && marker <= 0xCB) ||
           (marker >= 0xCD && marker <= 0xCF) || marker == 0xDE;
}

}  // namespace

JpegFrameHeader ReadJpegFrameHeader(const uint8_t* data, size_t length) {
    JpegFrameHeader header;
    if (data == nullptr || length < 2 || data[0] != 0xFF || data[1] != 0xD8) return header;
    size_t at = 2;
    while (length - at >= 2) {
        if (data[at] != 0xFF) return header;
        while (at < length && data[at] == 0xFF) ++at;
        if (at >= length) return header;
        const uint8_t marker = data[at++];
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) continue;
        if (marker == 0xD8 || marker == 0xD9 || marker == 0xDA) return header;
        if (length - at < 2) return header;
        const size_t segment = static_cast<size_t>(data[at]) << 8 | data[at + 1];
        if (segment < 2 || segment > length - at) return header;
        if ((marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) ||
            marker == 0xDE) {
            header.marker = marker;
            // Precision, height, width, component count.
            if (marker != 0xDE && segment >= 8) {
                const uint8_t* s = data + at + 2;
                header.height = s[1] << 8 | s[2];
                header.width = s[3] << 8 | s[4];
                header.components = s[5];
            }
            return header;
        }
        at += segment;
    }
    return header;
}

JpegImageDecoder::~JpegImageDecoder() {
    if (m_handle != nullptr) tjDestroy(m_handle);
}

int JpegImageDecoder::DecodeImage(const uint8_t* jpeg, size_t size, uint8_t* out, size_t capacity,
                                  LargeBuffer* grow, size_t limit, int& width, int& height) {
    if (jpeg == nullptr || size < 2 || size > ULONG_MAX) return Failed("SetSource", "no data");
    if (m_handle == nullptr) {
        m_handle = tjInitDecompress();
        if (m_handle == nullptr) return Failed("SetSource", tjGetErrorStr2(nullptr));
    }

    const JpegFrameHeader frame = ReadJpegFrameHeader(jpeg, size);
    if (frame.marker == 0) return Failed("ReadHeader", "no frame header before the scan");
    if (ArithmeticOrHierarchical(frame.marker)) {
        return Failed("ReadHeader", "arithmetic-coded and hierarchical frames are not supported");
    }
    if (grow != nullptr) {
        // Sized from the header within the caller's limit, so a hostile size cannot make the
        // buffer grow without bound; a larger image fails below as one that does not fit.
        const uint64_t needed = uint64_t(std::max(frame.width, 0)) * uint64_t(std::max(frame.height, 0)) * 3;
        // Memory that cannot be had leaves the buffer empty: the image then does not fit.
        if (needed <= limit && grow->size() < needed) *grow = LargeBuffer::Allocate(static_cast<size_t>(needed));
        out = grow->data();
        capacity = grow->size();
    }
    if (frame.marker == 0xC3) {
        const LosslessResult result = DecodeLosslessJpeg(jpeg, size, out, capacity);
        switch (result.failed) {
            case LosslessStep::None:
                width = result.width;
                height = result.height;
                return 0;
            case LosslessStep::Header:
                return Failed("ReadHeader", result.text.c_str());
            case LosslessStep::Destination:
                return Failed("SetDestination", result.text.c_str());
            case LosslessStep::Data:
                return Failed("ReadData", result.text.c_str());
        }
        return -1;
    }

    // The size comes from the frame header itself: TurboJPEG reads the same segment again
    // when it decodes, so a separate header pass would only parse the tables twice.
    const auto length = static_cast<unsigned long>(size);
    const int w = frame.width;
    const int h = frame.height;
    if (w <= 0 || h <= 0) return Failed("ReadHeader", "no image size");
    if (frame.components != 1 && frame.components != 3 && frame.components != 4) {
        return Failed("ReadHeader", "unsupported component count");
    }
    const size_t pixels = static_cast<size_t>(w) * static_cast<size_t>(h);
    if (out == nullptr || pixels > capacity / 3) {
        return Failed("SetDestination", "the image does not fit in the buffer");
    }

    // Warnings mean corrupt data: such an image is dropped rather than drawn in part.
    const int flags = TJFLAG_STOPONWARNING | TJFLAG_LIMITSCANS;
    if (frame.components == 4) {
        if (m_cmyk.size() < pixels * 4) m_cmyk.resize(pixels * 4);
        if (tjDecompress2(m_handle, jpeg, length, m_cmyk.data(), w, w * 4, h, TJPF_CMYK, flags) != 0) {
            return Failed("ReadData", tjGetErrorStr2(m_handle));
        }
        const uint8_t* in = m_cmyk.data();
        for (size_t i = 0; i < pixels; ++i, in += 4, out += 3) {
            const unsigned k = in[3];
            out[0] = static_cast<uint8_t>((in[2] * k + 127) / 255);
            out[1] = static_cast<uint8_t>((in[1] * k + 127) / 255);
            out[2] = static_cast<uint8_t>((in[0] * k + 127) / 255);
        }
    } else if (tjDecompress2(m_handle, jpeg, length, out, w, w * 3, h, TJPF_BGR, flags) != 0) {
        return Failed("ReadData", tjGetErrorStr2(m_handle));
    }
    width = w;
    height = h;
    return 0;
}

}  // namespace corvane
