// How fast the rectangle decoders turn image updates into frame-buffer pixels, against
// memcpy of the same number of frame-buffer bytes in the same run.
//
// One 1920x1080 screen of synthetic desktop content goes out as 240x120 rectangles, one
// image update each, in four encodings: raw (24-bit), palette chunks, 16-bit pixels and
// planar run-length. Every update is decoded through the real decoder into a depth-24
// frame buffer, and the result is checked against the screen (the 16-bit pixels against
// the screen cut to 5 bits a channel). The ratio is memcpy time / decode time: 1.0 means
// the decoder writes the screen as fast as a plain copy of its bytes. It also counts the
// heap allocations the decoders make per update, which must be zero.
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <unordered_map>
#include <vector>

#include "allocation_counter.h"
#include "display/display_events.h"
#include "no_events.h"
#include "display/frame_buffer.h"
#include "display/palette_chunks.h"
#include "display/pixels16.h"
#include "display/planar_rle.h"
#include "display/raw_rectangles.h"
#include "screen_content.h"

namespace {

using corvane::bench::NoEvents;

using namespace corvane;
using Clock = std::chrono::steady_clock;

constexpr int kWidth = 1920, kHeight = 1080, kTileWidth = 240, kTileHeight = 120;
constexpr int kScreensPerRun = 8;
constexpr int kRuns = 7;
constexpr size_t kMaxChunkPixels = 4093;

void PutBig32(std::vector<uint8_t>& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(v >> shift));
}
void PutLittle32(std::vector<uint8_t>& out, uint32_t v) {
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<uint8_t>(v >> shift));
}

// The screen's pixel (blue, green, red) at (x, y).
const uint8_t* At(const std::vector<uint8_t>& screen, int x, int y) {
    return &screen[(static_cast<size_t>(y) * kWidth + x) * 4];
}

void EncodeRaw(const std::vector<uint8_t>& screen, int tx, int ty, std::vector<uint8_t>& out) {
    for (int y = ty; y < ty + kTileHeight; ++y) {
        for (int x = tx; x < tx + kTileWidth; ++x) {
            const uint8_t* p = At(screen, x, y);
            out.insert(out.end(), {0, p[0], p[1], p[2]});
        }
    }
}

void EncodePaletteChunks(const std::vector<uint8_t>& screen, int tx, int ty, std::vector<uint8_t>& out) {
    std::vector<uint32_t> colours;
    for (int y = ty; y < ty + kTileHeight; ++y) {
        for (int x = tx; x < tx + kTileWidth; ++x) {
            const uint8_t* p = At(screen, x, y);
            colours.push_back(uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16);
        }
    }
    size_t next = 0;
    while (next < colours.size()) {
        std::unordered_map<uint32_t, uint8_t> index;
        std::vector<uint32_t> palette(1, 0);
        std::vector<uint8_t> indices;
        while (next < colours.size() && indices.size() < kMaxChunkPixels) {
            auto found = index.find(colours[next]);
            if (found == index.end()) {
                if (palette.size() == 256) break;
                found = index.emplace(colours[next], static_cast<uint8_t>(palette.size())).first;
                palette.push_back(colours[next]);
            }
            indices.push_back(found->second);
            ++next;
        }
        PutLittle32(out, static_cast<uint32_t>(indices.size()));
        PutLittle32(out, static_cast<uint32_t>(palette.size()));
        out.insert(out.end(), indices.begin(), indices.end());
        out.insert(out.end(), indices.size() & 3, 0);
        for (uint32_t c : palette) {
            out.insert(out.end(), {0, static_cast<uint8_t>(c), static_cast<uint8_t>(c >> 8), static_cast<uint8_t>(c >> 16)});
        }
    }
}

void EncodePixels16(const std::vector<uint8_t>& screen, int tx, int ty, std::vector<uint8_t>& out) {
    for (int y = ty; y < ty + kTileHeight; ++y) {
        for (int x = tx; x < tx + kTileWidth; ++x) {
            const uint8_t* p = At(screen, x, y);
            const unsigned word = unsigned(p[0] >> 3) << 1 | unsigned(p[1] >> 3) << 6 | unsigned(p[2] >> 3) << 11;
            out.push_back(static_cast<uint8_t>(word));
            out.push_back(static_cast<uint8_t>(word >> 8));
        }
    }
}

void EncodePlanar(const std::vector<uint8_t>& screen, int tx, int ty, std::vector<uint8_t>& out) {
    const size_t header = out.size();
    out.resize(header + 20, 0);
    for (int p = 0; p < 3; ++p) {
        const size_t start = out.size();
        std::vector<uint8_t> values;
        for (int y = ty; y < ty + kTileHeight; ++y) {
            for (int x = tx; x < tx + kTileWidth; ++x) values.push_back(At(screen, x, y)[p]);
        }
        for (size_t i = 0; i < values.size();) {
            size_t run = 1;
            while (i + run < values.size() && run < 127 && values[i + run] == values[i]) ++run;
            if (run == 1 && (values[i] & 1) == 0) {
                out.push_back(values[i]);
            } else {
                out.push_back(static_cast<uint8_t>(run << 1 | 1));
                out.push_back(values[i]);
            }
            i += run;
        }
        const uint32_t length = static_cast<uint32_t>(out.size() - start);
        std::memcpy(&out[header + 4 + 4 * static_cast<size_t>(p)], &length, 4);  // little-endian host
    }
}

using Encoder = void (*)(const std::vector<uint8_t>&, int, int, std::vector<uint8_t>&);
using Decoder = std::function<int(FrameBuffer&, const uint8_t*, size_t)>;

struct Format {
    const char* name;
    Encoder encode;
    Decoder decode;
    bool fiveBits;
    double target;             // the ratio wanted
    double decodeSeconds = 0;  // a screen's median
    std::vector<std::vector<uint8_t>> records = {};  // one image-update record per tile
    size_t bytes = 0;
};

std::vector<std::vector<uint8_t>> Records(const std::vector<uint8_t>& screen, Encoder encode) {
    std::vector<std::vector<uint8_t>> records;
    for (int ty = 0; ty < kHeight; ty += kTileHeight) {
        for (int tx = 0; tx < kWidth; tx += kTileWidth) {
            std::vector<uint8_t> data;
            encode(screen, tx, ty, data);
            std::vector<uint8_t> record;
            PutLittle32(record, 0);  // image type and count in host order, as the dispatcher leaves them
            PutLittle32(record, 1);
            PutBig32(record, static_cast<uint32_t>(data.size()));
            PutBig32(record, static_cast<uint32_t>(tx));
            PutBig32(record, static_cast<uint32_t>(ty));
            PutBig32(record, kTileWidth);
            PutBig32(record, kTileHeight);
            record.insert(record.end(), data.begin(), data.end());
            records.push_back(std::move(record));
        }
    }
    return records;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

bool Matches(const FrameBuffer& fb, const std::vector<uint8_t>& screen, bool fiveBits) {
    for (int y = 0; y < kHeight; ++y) {
        const uint8_t* row = fb.ScreenRow(y);
        for (int x = 0; x < kWidth; ++x) {
            const uint8_t* want = At(screen, x, y);
            for (int c = 0; c < 3; ++c) {
                const uint8_t expected = fiveBits ? static_cast<uint8_t>(want[c] & 0xF8) : want[c];
                if (row[x * 4 + c] != expected) return false;
            }
        }
    }
    return true;
}

}  // namespace

int main() {
    const std::vector<uint8_t> screen = bench::MakeScreen(kWidth, kHeight);
    NoEvents events;
    std::vector<Format> formats = {
        {"raw", EncodeRaw,
         [](FrameBuffer& fb, const uint8_t* r, size_t n) { return DrawRawRectangles(fb, r, n, 24); },
         false, 0.5},
        {"palette chunks", EncodePaletteChunks,
         [](FrameBuffer& fb, const uint8_t* r, size_t n) {
             return DrawPaletteChunkRectangles(fb, r, n, 24);
         },
         false, 0.5},
        {"16-bit pixels", EncodePixels16,
         [](FrameBuffer& fb, const uint8_t* r, size_t n) { return DrawPixel16Rectangles(fb, r, n, 24); },
         true, 0.4},
        {"planar run-length", EncodePlanar,
         [](FrameBuffer& fb, const uint8_t* r, size_t n) { return DrawPlanarRectangles(fb, r, n, 24); },
         false, 0.2},
    };
    for (Format& f : formats) {
        f.records = Records(screen, f.encode);
        for (const auto& r : f.records) f.bytes += r.size();
    }

    FrameBuffer fb;
    if (!fb.CreateWorkBitmap(kWidth, kHeight, 24, true)) return 1;
    const size_t frameBytes = static_cast<size_t>(kWidth) * kHeight * 4;
    std::vector<uint8_t> copySource(screen.begin(), screen.end());
    std::vector<uint8_t> copyTarget(frameBytes);

    std::printf("screen %dx%d in %dx%d rectangles, one update each; %d screens per run, median of %d runs\n", kWidth,
                kHeight, kTileWidth, kTileHeight, kScreensPerRun, kRuns);
    int failures = 0;
    for (Format& f : formats) {
        std::vector<double> anchor, measured;
        long allocations = 0;
        for (int run = 0; run <= kRuns; ++run) {  // run 0 warms up
            auto start = Clock::now();
            for (int s = 0; s < kScreensPerRun; ++s) {
                std::memcpy(copyTarget.data(), copySource.data(), frameBytes);
                copySource[static_cast<size_t>(s)] ^= 1;  // the copy cannot be folded away
            }
            const double a = std::chrono::duration<double>(Clock::now() - start).count();

            std::memset(fb.Pixels(), 0, fb.Stride() * static_cast<size_t>(fb.Height()));
            bench::AllocationCounter counter;
            start = Clock::now();
            for (int s = 0; s < kScreensPerRun; ++s) {
                for (const auto& record : f.records) {
                    if (f.decode(fb, record.data(), record.size()) != 1) std::abort();
                }
            }
            const double m = std::chrono::duration<double>(Clock::now() - start).count();
            allocations = counter.Count();
            if (run == 0) continue;
            anchor.push_back(a);
            measured.push_back(m);
        }
        const bool good = Matches(fb, screen, f.fiveBits);
        const double a = Median(anchor), m = Median(measured);
        f.decodeSeconds = m / kScreensPerRun;
        const double updates = static_cast<double>(f.records.size()) * kScreensPerRun;
        std::printf("%-18s %8zu bytes/screen  decode %6.2f ms/screen  memcpy %5.2f ms  ratio (memcpy / decode) %.3f (target >= %.1f)  "
                    "allocations/update %.3f  output %s\n",
                    f.name, f.bytes, m * 1000 / kScreensPerRun, a * 1000 / kScreensPerRun, a / m, f.target,
                    allocations / updates,
                    good ? "matches" : "DIFFERS");
        if (!good || allocations != 0) ++failures;
    }
    // A decoder that looks each pixel's index up in a table cannot beat a bare 256-entry
    // lookup writing a screen of 4-byte pixels: that bound holds for the scalar path. On
    // processors with AVX-512 VBMI the decoder looks sixty-four indices up at once and can go
    // below it.
    std::vector<uint8_t> indices(static_cast<size_t>(kWidth) * kHeight);
    for (size_t i = 0; i < indices.size(); ++i) indices[i] = static_cast<uint8_t>(1 + i * 7919 % 255);
    std::array<uint32_t, 256> table{};
    for (size_t i = 0; i < table.size(); ++i) table[i] = static_cast<uint32_t>(i * 0x01030507u);
    auto* lookupTarget = reinterpret_cast<uint32_t*>(copyTarget.data());
    std::vector<double> lookup;
    for (int run = 0; run <= kRuns; ++run) {
        const auto start = Clock::now();
        for (int s = 0; s < kScreensPerRun; ++s) {
            for (size_t i = 0; i < indices.size(); ++i) lookupTarget[i] = table[indices[i]];
            indices[static_cast<size_t>(s)] ^= 2;
        }
        if (run != 0) lookup.push_back(std::chrono::duration<double>(Clock::now() - start).count() / kScreensPerRun);
    }
    const double bound = Median(lookup);
    const auto palette = std::find_if(formats.begin(), formats.end(),
                                      [](const Format& f) { return f.encode == EncodePaletteChunks; });
    std::printf("table lookup bound %6.2f ms/screen  palette chunks ÷ bound %.3f (1.0: the decoder costs no more than "
                "a scalar lookup)\n",
                bound * 1000, bound / palette->decodeSeconds);
    return failures == 0 ? 0 : 2;
}
