#include "display/video_frames.h"

#include <vpx/vp8dx.h>
#include <vpx/vpx_decoder.h>

#include <algorithm>
#include <mutex>
#include <thread>

#include "config/log.h"
#include "display/yuv_to_bgr.h"

namespace corvane {

namespace {

unsigned DecoderThreads() {
    return std::clamp(std::thread::hardware_concurrency(), 1u, VideoFrameDecoder::kMostThreads);
}
constexpr int kBitmapBytesPerPixel = 4;
constexpr int kReportedBytesPerPixel = 3;

// Images taller or wider than the screen are shown in part, so some are taken: up to twice
// the screen's side, or 512 pixels for a small screen.
constexpr unsigned kLargestImageFactor = 2;
constexpr unsigned kLargestImageSideFloor = 512;

bool ImageSizeTaken(unsigned width, unsigned height, const FrameBuffer& frameBuffer) {
    const auto largest = [](int side) {
        return std::max(kLargestImageFactor * static_cast<unsigned>(std::max(side, 0)), kLargestImageSideFloor);
    };
    return width <= largest(frameBuffer.Width()) && height <= largest(frameBuffer.Height());
}

uint32_t LoadLittle32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

}  // namespace

struct VideoFrameDecoder::Codec {
    vpx_codec_ctx_t context{};
    bool ready = false;

    ~Codec() {
        if (ready) vpx_codec_destroy(&context);
    }
    void Report(const char* text) {
        DebugPrint(0, "%s: %s\n", text, vpx_codec_error(&context));
        if (const char* detail = vpx_codec_error_detail(&context))
            DebugPrint(0, "    %s\n", detail);
    }
};

VideoFrameDecoder::VideoFrameDecoder() : m_codec(std::make_unique<Codec>()) {}

VideoFrameDecoder::~VideoFrameDecoder() = default;

int VideoFrameDecoder::DecodeFrame(const uint8_t* data, size_t length, FrameBuffer& frameBuffer) {
    if (!m_codec->ready) {
        if (!m_initLogged) {
            m_initLogged = true;
            DebugPrint(57, "Init (Video-style) Decompression\n");
        }
        vpx_codec_dec_cfg_t config{};
        config.threads = DecoderThreads();
        config.w = static_cast<unsigned>(frameBuffer.Width());
        config.h = static_cast<unsigned>(frameBuffer.Height());
        if (vpx_codec_dec_init(&m_codec->context, vpx_codec_vp8_dx(), &config, 0) == VPX_CODEC_OK) {
            m_codec->ready = true;
        } else {
            // Tried again with the next frame.
            m_codec->Report("Failed to initialize decoder");
        }
    }

    ++m_frames;
    if (length < kHeaderSize) {
        DebugPrint(0, "Frame %d: %zu bytes hold no frame header\n", m_frames, length);
        return 2;
    }
    const uint32_t size = LoadLittle32(data);
    if (size > kMaxFrameBytes) {
        DebugPrint(0, "Frame %d data too big for example code buffer\n", static_cast<int>(size));
        return 2;
    }
    if (size > length - kHeaderSize) {
        DebugPrint(0, "Frame %d: header names %u bytes, the message holds %zu\n", m_frames, size,
                   length - kHeaderSize);
        return 2;
    }
    DebugPrint(57, "Read frame # %d  size: %d bytes\n", m_frames, static_cast<int>(size));
    // A key frame names its image's size; one far larger than the screen would cost libvpx
    // hundreds of megabytes and seconds of work before anything could be shown of it.
    vpx_codec_stream_info_t info{};
    info.sz = sizeof info;
    if (vpx_codec_peek_stream_info(vpx_codec_vp8_dx(), data + kHeaderSize, size, &info) == VPX_CODEC_OK &&
        info.is_kf != 0 && !ImageSizeTaken(info.w, info.h, frameBuffer)) {
        DebugPrint(0, "Frame %d: a video image of %ux%u is far larger than the %dx%d screen; refused\n", m_frames,
                   info.w, info.h, frameBuffer.Width(), frameBuffer.Height());
        return 0;
    }
    // libvpx reads the frame where it lies; nothing else touches the message buffer meanwhile.
    if (m_codec->ready) {
        if (vpx_codec_decode(&m_codec->context, data + kHeaderSize, size, nullptr, 0) !=
            VPX_CODEC_OK) {
            m_codec->Report("Failed to decode frame");
        } else {
            Draw(frameBuffer);
        }
    }
    DebugPrint(1, "Processed %d frames.\n", m_frames);
    return 0;
}

void VideoFrameDecoder::Draw(FrameBuffer& frameBuffer) {
    vpx_codec_iter_t iterator = nullptr;
    while (const vpx_image_t* image = vpx_codec_get_frame(&m_codec->context, &iterator)) {
        const int width = static_cast<int>(image->d_w);
        const int height = static_cast<int>(image->d_h);
        std::lock_guard lock(frameBuffer.Mutex());
        const int bitmapWidth = frameBuffer.Width();
        const int bitmapHeight = frameBuffer.Height();
        DebugPrint(57, "Image: %dx%d  Bitmap: %dx%d\n", width, height, bitmapWidth, bitmapHeight);
        // An image taller than the bitmap shows its bottom part.
        const int skippedRows = std::max(0, height - bitmapHeight);
        DebugPrint(57, "Offset: %d bytes\n", skippedRows * width * kReportedBytesPerPixel);
        if (image->fmt != VPX_IMG_FMT_I420 || !frameBuffer.Valid() ||
            frameBuffer.BytesPerPixel() != kBitmapBytesPerPixel) {
            DebugPrint(0, "Video image (format %d) cannot be shown in depth %d\n",
                       static_cast<int>(image->fmt), frameBuffer.Depth());
            continue;
        }
        const YuvPlanes planes{image->planes[VPX_PLANE_Y], image->planes[VPX_PLANE_U],
                               image->planes[VPX_PLANE_V], image->stride[VPX_PLANE_Y],
                               image->stride[VPX_PLANE_U], image->stride[VPX_PLANE_V]};
        ConvertYuvToBgrx(planes, skippedRows, std::min(height - skippedRows, bitmapHeight),
                         std::min(width, bitmapWidth), frameBuffer.Pixels(), frameBuffer.Stride(),
                         frameBuffer.FourthByteOfWrites());
    }
}

}  // namespace corvane
