// How fast JFIF drawing requests reach the frame buffer, against TurboJPEG decoding the same
// frames in the same run, and how the decode scales with the thread limit.
//
// A 1920x1080 screen of synthetic desktop content goes out as 480x270 JFIF frames (the
// server's encoder), 16 a screen. Each run pushes kScreensPerRun screens through the real
// drawing-request engine (copy off the message, decode on the workers, copy into the frame
// buffer in arrival order) at thread limits 1, 2, 4 and 8, and decodes the same frames with
// tjDecompress2 one after another. Printed: TurboJPEG time / engine time at limit 1 (the
// per-frame overhead; want >= 0.95), limit-1 time / limit-2 time (want >= 1.85 on two cores)
// and limit-2 time / limit-4 and limit-8 time (want >= 0.97). The frame buffer is checked
// against TurboJPEG's own decode after every limit, so a wrong fast path cannot pass.
#include <turbojpeg.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "display/display_events.h"
#include "no_events.h"
#include "display/drawing_requests.h"
#include "display/frame_buffer.h"
#include "display/jfif_decoder.h"
#include "screen_content.h"
#include "tools/testserver/jpeg_encoder.h"

namespace {

using corvane::bench::NoEvents;

using namespace corvane;
using Clock = std::chrono::steady_clock;

constexpr int kWidth = 1920, kHeight = 1080, kTileWidth = 480, kTileHeight = 270;
constexpr int kScreensPerRun = 8;
constexpr int kRuns = 15;
constexpr int kQuality = 85;
constexpr int kTolerance = 2;  // per channel, against TurboJPEG

struct Tile {
    int x, y;
    std::vector<uint8_t> jfif;
};

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double Seconds(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

int main() {
    // The screen as red, green, blue for the encoder.
    const std::vector<uint8_t> bgrx = bench::MakeScreen(kWidth, kHeight);
    std::vector<uint8_t> rgb(static_cast<size_t>(kWidth) * kHeight * 3);
    for (size_t i = 0, n = static_cast<size_t>(kWidth) * kHeight; i < n; ++i) {
        rgb[i * 3] = bgrx[i * 4 + 2];
        rgb[i * 3 + 1] = bgrx[i * 4 + 1];
        rgb[i * 3 + 2] = bgrx[i * 4];
    }
    std::vector<Tile> tiles;
    size_t bytes = 0;
    for (int y = 0; y < kHeight; y += kTileHeight) {
        for (int x = 0; x < kWidth; x += kTileWidth) {
            const uint8_t* at = &rgb[(static_cast<size_t>(y) * kWidth + x) * 3];
            tiles.push_back(
                {x, y, testserver::EncodeJfif(at, kTileWidth, kTileHeight, kWidth * 3, kQuality)});
            if (tiles.back().jfif.empty()) return 1;
            bytes += tiles.back().jfif.size();
        }
    }

    // TurboJPEG's decode of every tile, blue, green, red, placed on a screen: the reference.
    tjhandle turbo = tjInitDecompress();
    std::vector<uint8_t> tileOut(static_cast<size_t>(kTileWidth) * kTileHeight * 3);
    std::vector<uint8_t> reference(static_cast<size_t>(kWidth) * kHeight * 3);
    for (const Tile& t : tiles) {
        if (tjDecompress2(turbo, t.jfif.data(), t.jfif.size(), tileOut.data(), kTileWidth, 0,
                          kTileHeight, TJPF_BGR, 0) != 0) {
            return 1;
        }
        for (int row = 0; row < kTileHeight; ++row) {
            std::copy_n(&tileOut[static_cast<size_t>(row) * kTileWidth * 3], kTileWidth * 3,
                        &reference[((static_cast<size_t>(t.y) + row) * kWidth + t.x) * 3]);
        }
    }

    FrameBuffer fb;
    if (!fb.CreateWorkBitmap(kWidth, kHeight, 24, true)) return 1;
    NoEvents events;
    const int limits[] = {1, 2, 4, 8};
    // One engine per limit for the whole benchmark: the workers and their buffers are made in
    // the warm-up run, as they are once in a session.
    std::vector<std::unique_ptr<DrawingRequestEngine>> engines;
    for (int limit : limits) {
        engines.push_back(std::make_unique<DrawingRequestEngine>(fb, events));
        engines.back()->SetThreadLimit(limit);
    }
    std::vector<double> engine[4], library, restricted;
    std::vector<uint8_t> decodeBuffer(static_cast<size_t>(kTileWidth) * (kTileHeight + 16) * 3);
    int failures = 0;
    for (int run = 0; run <= kRuns; ++run) {  // run 0 warms up
        auto start = Clock::now();
        for (int s = 0; s < kScreensPerRun; ++s) {
            for (const Tile& t : tiles) {
                if (tjDecompress2(turbo, t.jfif.data(), t.jfif.size(), tileOut.data(), kTileWidth,
                                  0, kTileHeight, TJPF_BGR, 0) != 0) {
                    return 1;
                }
            }
        }
        if (run > 0) library.push_back(Seconds(start));
        // The restricted decoder alone, on this thread: what the engine adds is the rest.
        start = Clock::now();
        for (int s = 0; s < kScreensPerRun; ++s) {
            for (const Tile& t : tiles) {
                int w = kTileWidth, h = kTileHeight;
                if (DecodeJfif(t.jfif.data(), t.jfif.size(), decodeBuffer.data(),
                               decodeBuffer.size(), w, h) != 0) {
                    return 1;
                }
            }
        }
        if (run > 0) restricted.push_back(Seconds(start));

        for (int l = 0; l < 4; ++l) {
            std::fill_n(fb.Pixels(), fb.Stride() * static_cast<size_t>(fb.Height()), uint8_t{0});
            DrawingRequestEngine& requests = *engines[l];
            start = Clock::now();
            for (int s = 0; s < kScreensPerRun; ++s) {
                for (const Tile& t : tiles) {
                    if (requests.StartFrame(t.jfif.data(), t.jfif.size(), t.x, t.y, kTileWidth,
                                            kTileHeight) != DrawingRequestEngine::kStarted) {
                        std::printf("frame dropped at limit %d\n", limits[l]);
                        ++failures;
                    }
                }
            }
            requests.WaitForIdle();
            if (run > 0) engine[l].push_back(Seconds(start));
            int worst = 0;
            for (int y = 0; y < kHeight; ++y) {
                const uint8_t* row = fb.ScreenRow(y);
                for (int x = 0; x < kWidth; ++x) {
                    for (int c = 0; c < 3; ++c) {
                        worst = std::max(
                            worst,
                            std::abs(row[x * 4 + c] -
                                     reference[(static_cast<size_t>(y) * kWidth + x) * 3 + c]));
                    }
                }
            }
            if (worst > kTolerance) {
                std::printf("limit %d: output differs from TurboJPEG by up to %d\n", limits[l],
                            worst);
                ++failures;
            }
        }
    }
    tjDestroy(turbo);

    const double frames = static_cast<double>(tiles.size()) * kScreensPerRun;
    const double lib = Median(library);
    double t[4];
    for (int l = 0; l < 4; ++l) t[l] = Median(engine[l]);
    std::printf(
        "%zu JFIF frames of %dx%d a screen (%zu bytes), %d screens a run, median of %d runs\n",
        tiles.size(), kTileWidth, kTileHeight, bytes, kScreensPerRun, kRuns);
    std::printf("TurboJPEG decode         %7.3f ms/frame\n", lib * 1000 / frames);
    std::printf("restricted decoder alone %7.3f ms/frame\n", Median(restricted) * 1000 / frames);
    for (int l = 0; l < 4; ++l) {
        std::printf("drawing requests, %d thr %7.3f ms/frame\n", limits[l], t[l] * 1000 / frames);
    }
    const double overhead = lib / t[0], scale2 = t[0] / t[1], scale4 = t[1] / t[2],
                 scale8 = t[1] / t[3];
    std::printf("ratio TurboJPEG / 1 thread      %.3f (want >= 0.95)\n", overhead);
    std::printf("ratio 1 thread / 2 threads      %.3f (want >= 1.85 on two cores)\n", scale2);
    std::printf("ratio 2 threads / 4 threads     %.3f (want >= 0.97)\n", scale4);
    std::printf("ratio 2 threads / 8 threads     %.3f (want >= 0.97)\n", scale8);
    std::printf("output %s\n", failures == 0 ? "matches TurboJPEG" : "DIFFERS");
    return failures == 0 ? 0 : 2;
}
