#include "tools/testserver/jpeg_encoder.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>
#include <turbojpeg.h>

namespace corvane::testserver {

namespace {

struct ErrorManager {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

[[noreturn]] void LeaveEncoder(j_common_ptr info) {
    std::longjmp(reinterpret_cast<ErrorManager*>(info->err)->jump, 1);
}

void NoOutput(j_common_ptr) {}

// Plain data only in this frame: a longjmp out of libjpeg skips no destructor. The stream is
// left in `*out` (malloc'd by libjpeg; the caller frees it).
bool Compress(const uint8_t* rgb, int width, int height, int strideBytes, int quality, unsigned char** out,
              unsigned long* outSize) {
    jpeg_compress_struct info;
    ErrorManager errors;
    info.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = LeaveEncoder;
    errors.manager.output_message = NoOutput;
    if (setjmp(errors.jump) != 0) {
        jpeg_destroy_compress(&info);
        return false;
    }
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, out, outSize);
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    // The defaults are what the client's restricted decoder takes: JFIF APP0, YCbCr sampled
    // 2 x 2 / 1 x 1 / 1 x 1, baseline Huffman tables, one DQT and one DHT segment per table.
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(rgb + static_cast<size_t>(info.next_scanline) * strideBytes);
        (void)jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return true;
}

}  // namespace

std::vector<uint8_t> EncodeJfif(const uint8_t* rgb, int width, int height, int strideBytes, int quality) {
    if (rgb == nullptr || width <= 0 || height <= 0 || width > 65535 || height > 65535 ||
        strideBytes < width * 3 || quality < 1 || quality > 100) {
        return {};
    }
    unsigned char* out = nullptr;
    unsigned long size = 0;
    std::vector<uint8_t> stream;
    if (Compress(rgb, width, height, strideBytes, quality, &out, &size)) stream.assign(out, out + size);
    std::free(out);
    return stream;
}

std::vector<uint8_t> EncodeJpegImage(const uint8_t* rgb, int width, int height, int strideBytes, int quality,
                                     JpegSampling sampling, bool progressive) {
    if (rgb == nullptr || width <= 0 || height <= 0 || strideBytes < width * 3) return {};
    tjhandle handle = tjInitCompress();
    if (handle == nullptr) return {};
    int subsampling = TJSAMP_420;
    switch (sampling) {
        case JpegSampling::S444: subsampling = TJSAMP_444; break;
        case JpegSampling::S422: subsampling = TJSAMP_422; break;
        case JpegSampling::S420: subsampling = TJSAMP_420; break;
        case JpegSampling::Grey: subsampling = TJSAMP_GRAY; break;
    }
    unsigned char* out = nullptr;
    unsigned long size = 0;
    std::vector<uint8_t> stream;
    const int flags = progressive ? TJFLAG_PROGRESSIVE : 0;
    if (tjCompress2(handle, rgb, width, strideBytes, height, TJPF_RGB, &out, &size, subsampling, quality,
                    flags) == 0) {
        stream.assign(out, out + size);
    }
    tjFree(out);
    tjDestroy(handle);
    return stream;
}

}  // namespace corvane::testserver
