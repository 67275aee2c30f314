// How fast VP8 drawing requests reach the frame buffer, against vpxdec decoding the same
// stream with the same thread count (the client's: the cores, at most 4), and how fast the 4:2:0 conversion is against libyuv.
//
// A 1920x1080 pan across a wider synthetic desktop (8 pixels a frame) is encoded with libvpx
// (two token partitions) and written as an IVF file. Each run times `vpxdec --noblit
// --threads=N` on that file as a child process (decode only, start-up included), then the
// real video path (VideoFrameDecoder: decode, conversion straight into a 1920x1080 frame
// buffer) over the same frames. Printed: vpxdec time / ours (want >= 0.95). Then the
// conversion alone on the last image's planes, ours against libyuv's I420ToARGB (want
// libyuv time / ours >= 0.9). Both outputs are checked against libvpx's decode converted
// with the real-valued formula, within one unit a channel.
#include <libyuv/convert_argb.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vpx/vp8cx.h>
#include <vpx/vp8dx.h>
#include <vpx/vpx_decoder.h>
#include <vpx/vpx_encoder.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "display/frame_buffer.h"
#include "display/video_frames.h"
#include "display/yuv_to_bgr.h"
#include "screen_content.h"

namespace {

using namespace corvane;
using Clock = std::chrono::steady_clock;

constexpr int kWidth = 1920, kHeight = 1080;
constexpr int kFrames = 60;
constexpr int kPanStep = 8;
constexpr int kRuns = 5;
constexpr int kConversionsPerRun = 20;
const int kThreads = static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 4u));

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double Seconds(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

uint8_t Clamp(double value) {
    return static_cast<uint8_t>(std::clamp(std::lround(value), 0L, 255L));
}

struct Planes {
    std::vector<uint8_t> y, u, v;
};

// The window at `left` of a BGRX canvas `canvasWidth` wide, as 4:2:0 planes.
Planes ToI420(const std::vector<uint8_t>& canvas, int canvasWidth, int left) {
    Planes p{std::vector<uint8_t>(static_cast<size_t>(kWidth) * kHeight),
             std::vector<uint8_t>(static_cast<size_t>(kWidth / 2) * (kHeight / 2)),
             std::vector<uint8_t>(static_cast<size_t>(kWidth / 2) * (kHeight / 2))};
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const uint8_t* c = &canvas[(static_cast<size_t>(y) * canvasWidth + left + x) * 4];
            const double luma = 0.299 * c[2] + 0.587 * c[1] + 0.114 * c[0];
            p.y[static_cast<size_t>(y) * kWidth + x] = Clamp(luma);
            if ((x | y) % 2 == 0) {
                const size_t at = static_cast<size_t>(y / 2) * (kWidth / 2) + x / 2;
                p.u[at] = Clamp(128 + 0.492 * (c[0] - luma));
                p.v[at] = Clamp(128 + 0.877 * (c[2] - luma));
            }
        }
    }
    return p;
}

void PutLittle(std::string& out, uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>(value >> (8 * i)));
}

// Largest channel difference between 4-byte pixels and the real-valued conversion of planes.
int WorstAgainstFormula(const uint8_t* pixels, size_t stride, const uint8_t* y, int yStride,
                        const uint8_t* u, int uStride, const uint8_t* v, int vStride) {
    int worst = 0;
    for (int row = 0; row < kHeight; ++row) {
        for (int x = 0; x < kWidth; ++x) {
            const double luma = y[row * yStride + x];
            const double cu = u[(row / 2) * uStride + x / 2] - 128.0;
            const double cv = v[(row / 2) * vStride + x / 2] - 128.0;
            const uint8_t* p = pixels + row * stride + x * 4;
            worst = std::max({worst, std::abs(p[0] - Clamp(luma + 2.032 * cu)),
                              std::abs(p[1] - Clamp(luma - 0.394 * cu - 0.581 * cv)),
                              std::abs(p[2] - Clamp(luma + 1.140 * cv))});
        }
    }
    return worst;
}

double RunVpxdec(const std::string& ivf) {
    const auto start = Clock::now();
    const pid_t child = fork();
    if (child == 0) {
        const std::string threads = "--threads=" + std::to_string(kThreads);
        execlp("vpxdec", "vpxdec", "--noblit", threads.c_str(), ivf.c_str(),
               static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0)
        return -1;
    return Seconds(start);
}

}  // namespace

int main() {
    const int canvasWidth = kWidth + kFrames * kPanStep;
    const std::vector<uint8_t> canvas = bench::MakeScreen(canvasWidth, kHeight);

    // Encode the pan.
    vpx_codec_enc_cfg_t config;
    if (vpx_codec_enc_config_default(vpx_codec_vp8_cx(), &config, 0) != VPX_CODEC_OK) return 1;
    config.g_w = kWidth;
    config.g_h = kHeight;
    config.g_threads = 2;
    config.g_lag_in_frames = 0;
    config.g_timebase = {1, 25};
    config.rc_end_usage = VPX_CBR;
    config.rc_target_bitrate = 12000;
    vpx_codec_ctx_t encoder;
    if (vpx_codec_enc_init(&encoder, vpx_codec_vp8_cx(), &config, 0) != VPX_CODEC_OK) return 1;
    vpx_codec_control(&encoder, VP8E_SET_TOKEN_PARTITIONS,
                      static_cast<int>(VP8_TWO_TOKENPARTITION));
    vpx_codec_control(&encoder, VP8E_SET_CPUUSED, -8);  // a fixed speed, not adapted to the load
    std::vector<std::vector<uint8_t>> frames;  // each with the 12-byte drawing-request header
    size_t bytes = 0;
    for (int f = 0; f < kFrames; ++f) {
        Planes p = ToI420(canvas, canvasWidth, f * kPanStep);
        vpx_image_t image;
        vpx_img_wrap(&image, VPX_IMG_FMT_I420, kWidth, kHeight, 1, p.y.data());
        image.planes[VPX_PLANE_U] = p.u.data();
        image.planes[VPX_PLANE_V] = p.v.data();
        image.stride[VPX_PLANE_U] = image.stride[VPX_PLANE_V] = kWidth / 2;
        if (vpx_codec_encode(&encoder, &image, f, 1, 0, VPX_DL_REALTIME) != VPX_CODEC_OK) return 1;
        vpx_codec_iter_t iterator = nullptr;
        while (const vpx_codec_cx_pkt_t* packet = vpx_codec_get_cx_data(&encoder, &iterator)) {
            if (packet->kind != VPX_CODEC_CX_FRAME_PKT) continue;
            std::vector<uint8_t> frame(12, 0);
            const auto* data = static_cast<const uint8_t*>(packet->data.frame.buf);
            frame.insert(frame.end(), data, data + packet->data.frame.sz);
            for (int i = 0; i < 4; ++i)
                frame[i] = static_cast<uint8_t>(packet->data.frame.sz >> (8 * i));
            bytes += packet->data.frame.sz;
            frames.push_back(std::move(frame));
        }
    }
    vpx_codec_destroy(&encoder);

    // The same frames as IVF for vpxdec.
    std::string ivf = "DKIF";
    PutLittle(ivf, 0, 2);
    PutLittle(ivf, 32, 2);
    ivf += "VP80";
    PutLittle(ivf, kWidth, 2);
    PutLittle(ivf, kHeight, 2);
    PutLittle(ivf, 25, 4);
    PutLittle(ivf, 1, 4);
    PutLittle(ivf, frames.size(), 4);
    PutLittle(ivf, 0, 4);
    for (size_t f = 0; f < frames.size(); ++f) {
        PutLittle(ivf, frames[f].size() - 12, 4);
        PutLittle(ivf, f, 8);
        ivf.append(reinterpret_cast<const char*>(frames[f].data()) + 12, frames[f].size() - 12);
    }
    char ivfPath[] = "/tmp/corvane-video-bench-XXXXXX";
    const int fd = mkstemp(ivfPath);
    if (fd < 0 || write(fd, ivf.data(), ivf.size()) != static_cast<ssize_t>(ivf.size())) return 1;
    close(fd);

    // libvpx's own decode of the last frame: the reference planes.
    vpx_codec_ctx_t decoder;
    if (vpx_codec_dec_init(&decoder, vpx_codec_vp8_dx(), nullptr, 0) != VPX_CODEC_OK) return 1;
    Planes last;
    for (const auto& frame : frames) {
        if (vpx_codec_decode(&decoder, frame.data() + 12, static_cast<unsigned>(frame.size() - 12),
                             nullptr, 0) != VPX_CODEC_OK) {
            return 1;
        }
        vpx_codec_iter_t iterator = nullptr;
        while (const vpx_image_t* image = vpx_codec_get_frame(&decoder, &iterator)) {
            last = {std::vector<uint8_t>(static_cast<size_t>(kWidth) * kHeight),
                    std::vector<uint8_t>(static_cast<size_t>(kWidth / 2) * (kHeight / 2)),
                    std::vector<uint8_t>(static_cast<size_t>(kWidth / 2) * (kHeight / 2))};
            for (int row = 0; row < kHeight; ++row) {
                std::memcpy(&last.y[static_cast<size_t>(row) * kWidth],
                            image->planes[0] + row * image->stride[0], kWidth);
            }
            for (int row = 0; row < kHeight / 2; ++row) {
                std::memcpy(&last.u[static_cast<size_t>(row) * kWidth / 2],
                            image->planes[1] + row * image->stride[1], kWidth / 2);
                std::memcpy(&last.v[static_cast<size_t>(row) * kWidth / 2],
                            image->planes[2] + row * image->stride[2], kWidth / 2);
            }
        }
    }
    vpx_codec_destroy(&decoder);

    FrameBuffer fb;
    if (!fb.CreateWorkBitmap(kWidth, kHeight, 24, true)) return 1;
    std::vector<uint8_t> argb(static_cast<size_t>(kWidth) * kHeight * 4);
    std::vector<double> theirs, ours, libyuv, conversion;
    int failures = 0;
    for (int run = 0; run <= kRuns; ++run) {  // run 0 warms up
        const double vpxdec = RunVpxdec(ivfPath);
        if (vpxdec < 0) {
            std::printf("vpxdec failed\n");
            return 1;
        }
        auto start = Clock::now();
        {
            VideoFrameDecoder video;
            for (const auto& frame : frames) {
                if (video.DecodeFrame(frame.data(), frame.size(), fb) != 0) ++failures;
            }
        }
        const double path = Seconds(start);

        start = Clock::now();
        for (int i = 0; i < kConversionsPerRun; ++i) {
            libyuv::I420ToARGB(last.y.data(), kWidth, last.u.data(), kWidth / 2, last.v.data(),
                               kWidth / 2, argb.data(), kWidth * 4, kWidth, kHeight);
        }
        const double their = Seconds(start);
        start = Clock::now();
        const YuvPlanes planes{last.y.data(), last.u.data(), last.v.data(),
                               kWidth,        kWidth / 2,    kWidth / 2};
        for (int i = 0; i < kConversionsPerRun; ++i) {
            ConvertYuvToBgrx(planes, 0, kHeight, kWidth, argb.data(), kWidth * 4, FourthByte::Zero);
        }
        const double our = Seconds(start);
        if (run == 0) continue;
        theirs.push_back(vpxdec);
        ours.push_back(path);
        libyuv.push_back(their);
        conversion.push_back(our);
    }
    unlink(ivfPath);

    const int worstPath = WorstAgainstFormula(fb.Pixels(), fb.Stride(), last.y.data(), kWidth,
                                              last.u.data(), kWidth / 2, last.v.data(), kWidth / 2);
    const int worstConversion =
        WorstAgainstFormula(argb.data(), kWidth * 4, last.y.data(), kWidth, last.u.data(),
                            kWidth / 2, last.v.data(), kWidth / 2);
    if (worstPath > 1 || worstConversion > 1) ++failures;

    const double t = Median(theirs), o = Median(ours), ly = Median(libyuv), c = Median(conversion);
    std::printf(
        "%d VP8 frames %dx%d (pan %d px/frame, two token partitions, %zu bytes), %d decoder "
        "threads, "
        "median of %d runs\n",
        kFrames, kWidth, kHeight, kPanStep, bytes, kThreads, kRuns);
    std::printf("vpxdec --noblit           %7.3f ms/frame (process start included)\n",
                t * 1000 / kFrames);
    std::printf("video drawing requests    %7.3f ms/frame (decode, conversion, copy)\n",
                o * 1000 / kFrames);
    std::printf("libyuv I420ToARGB         %7.3f ms/image\n", ly * 1000 / kConversionsPerRun);
    std::printf("our conversion            %7.3f ms/image\n", c * 1000 / kConversionsPerRun);
    std::printf("ratio vpxdec / ours             %.3f (want >= 0.95)\n", t / o);
    std::printf("ratio libyuv / our conversion   %.3f (want >= 0.90)\n", ly / c);
    std::printf("output: frame buffer within %d, conversion within %d of the formula: %s\n",
                worstPath, worstConversion, failures == 0 ? "matches" : "DIFFERS");
    return failures == 0 ? 0 : 2;
}
