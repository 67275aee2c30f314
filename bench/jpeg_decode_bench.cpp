// How fast the two JPEG paths turn JPEG images into pixels, against TurboJPEG decoding the
// same images on one thread in the same run.
//
// Content: synthetic desktop screens, q80 4:2:0, as 40 tiles of 256x256 and as one whole
// 1920x1080 frame.
//   1. Image updates: COMPEXT frames with a JPEG image, pushed through a socket pair by a
//      writer thread and taken by the display (read, decipher, route, decode by the general
//      decoder, copy into a depth-24 frame buffer). Anchor: tjDecompress2 to BGRX at the
//      image's place in a screen-sized buffer.
//   2. The restricted JFIF decoder of drawing requests on the same images. Anchor:
//      tjDecompress2 to BGR, the layout it writes.
// Ratios are TurboJPEG time / our time (1.0: no cost beyond the library's own decode);
// the target is 0.95 or more. Every result is checked against TurboJPEG's own decode.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <sys/socket.h>
#include <turbojpeg.h>
#include <unistd.h>

#include "display/display_events.h"
#include "no_events.h"
#include "display/frame_buffer.h"
#include "display/jfif_decoder.h"
#include "display/jpeg_image_decoder.h"
#include "display/display_messages.h"
#include "protocol/message_router.h"
#include "protocol/frame_builder.h"
#include "protocol/message_channel.h"
#include "protocol/records.h"
#include "protocol/stream_connection.h"
#include "screen_content.h"

namespace {

using corvane::bench::NoEvents;

using namespace corvane;
using Clock = std::chrono::steady_clock;

constexpr int kWidth = 1920, kHeight = 1080, kTile = 256, kTiles = 40;
constexpr int kRuns = 7;
constexpr int kQuality = 80;

struct Image {
    int x, y, width, height;
    std::vector<uint8_t> jpeg;
};

struct Workload {
    const char* name;
    std::vector<Image> images;
    std::vector<uint8_t> stream;  // the COMPEXT frames, back to back
    size_t pixels = 0;
};

void PutBig32(uint8_t* at, uint32_t v) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(v >> (24 - 8 * i));
}

Workload MakeWorkload(const char* name, const std::vector<uint8_t>& screen, bool tiles) {
    Workload w{name, {}, {}, 0};
    tjhandle handle = tjInitCompress();
    for (int i = 0; i < (tiles ? kTiles : 1); ++i) {
        Image image = tiles ? Image{(i % 8) * 208, (i / 8) * 206, kTile, kTile, {}} : Image{0, 0, kWidth, kHeight, {}};
        unsigned char* out = nullptr;
        unsigned long size = 0;
        const uint8_t* origin = &screen[(static_cast<size_t>(image.y) * kWidth + image.x) * 4];
        if (tjCompress2(handle, origin, image.width, kWidth * 4, image.height, TJPF_BGRX, &out, &size, TJSAMP_420,
                        kQuality, 0) != 0) {
            std::abort();
        }
        image.jpeg.assign(out, out + size);
        tjFree(out);

        std::vector<uint8_t> body(kRecordHeaderSize + 28);
        MakeRecordHeader(body.data(), ZRPPROTOCOL_MH_MESSIMFB);
        RecordHeaderToWire(body.data());
        uint8_t* record = body.data() + kRecordHeaderSize;
        const uint32_t words[2] = {2, 1};  // a JPEG image, one rectangle
        std::memcpy(record, words, sizeof words);
        RecordToWire(record, ZRPPROTOCOL_MH_MESSIMFB, 8);
        PutBig32(record + 8, static_cast<uint32_t>(image.jpeg.size()));
        PutBig32(record + 12, static_cast<uint32_t>(image.x));
        PutBig32(record + 16, static_cast<uint32_t>(image.y));
        PutBig32(record + 20, static_cast<uint32_t>(image.width));
        PutBig32(record + 24, static_cast<uint32_t>(image.height));
        body.insert(body.end(), image.jpeg.begin(), image.jpeg.end());
        FrameBuilder frame;
        if (!frame.Build(COMPEXT, body.data(), body.size(), {}, BodyCoding::AsIs)) std::abort();
        w.stream.insert(w.stream.end(), frame.data(), frame.data() + frame.size());
        w.pixels += static_cast<size_t>(image.width) * image.height;
        w.images.push_back(std::move(image));
    }
    tjDestroy(handle);
    return w;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double Seconds(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// TurboJPEG alone: every image to BGRX at its place in a screen-sized buffer, as a client
// decoding straight into its frame buffer would; or to BGR into one image-sized buffer, as
// the restricted decoder writes.
double TimeTurbo(const Workload& w, tjhandle handle, int format, std::vector<uint8_t>& out) {
    const auto start = Clock::now();
    for (const Image& image : w.images) {
        const bool screen = format == TJPF_BGRX;
        uint8_t* at = screen ? &out[(static_cast<size_t>(image.y) * kWidth + image.x) * 4] : out.data();
        const int pitch = screen ? kWidth * 4 : image.width * 3;
        if (tjDecompress2(handle, image.jpeg.data(), image.jpeg.size(), at, image.width, pitch, image.height, format,
                          0) != 0) {
            std::abort();
        }
    }
    return Seconds(start);
}

// The image-update path: frames off the socket through the dispatcher into the frame buffer.
// What the receive loop does with each message: read it, route it to the display's handler.
struct UpdateReader {
    MessageChannel& channel;
    DisplayMessages& display;
    MessageRouter& router;
    int ProcessMessage() {
        MessageFrame frame;
        if (channel.ReadMessage(display.NextDecodeClass(), frame) != 0) return -1;
        return router.Route(frame);
    }
};

double TimeUpdates(const Workload& w, UpdateReader& dispatcher, StreamConnection& writer, int writeFd) {
    std::thread producer([&] {
        if (writer.zRPshWrite(writeFd, w.stream.data(), static_cast<int>(w.stream.size())) < 0) std::abort();
    });
    const auto start = Clock::now();
    for (size_t i = 0; i < w.images.size(); ++i) {
        if (dispatcher.ProcessMessage() != 0) std::abort();
    }
    const double seconds = Seconds(start);
    producer.join();
    return seconds;
}

// The restricted decoder on the same images, into a buffer of whole 16-row units.
double TimeJfif(const Workload& w, std::vector<uint8_t>& out) {
    const auto start = Clock::now();
    for (const Image& image : w.images) {
        int width = image.width;
        int height = image.height;
        if (DecodeJfif(image.jpeg.data(), image.jpeg.size(), out.data(), out.size(), width, height) != 0) std::abort();
    }
    return Seconds(start);
}

// The frame buffer against TurboJPEG's decode of every image laid down in order; and the
// restricted decoder's output of the last image against TurboJPEG's.
bool Check(const Workload& w, const FrameBuffer& fb, tjhandle handle, const std::vector<uint8_t>& jfifOut) {
    std::vector<uint8_t> screen(static_cast<size_t>(kWidth) * kHeight * 3);
    std::vector<bool> covered(static_cast<size_t>(kWidth) * kHeight);
    std::vector<uint8_t> decoded;
    for (const Image& image : w.images) {
        decoded.resize(static_cast<size_t>(image.width) * image.height * 3);
        if (tjDecompress2(handle, image.jpeg.data(), image.jpeg.size(), decoded.data(), image.width, 0, image.height,
                          TJPF_BGR, 0) != 0) {
            return false;
        }
        for (int row = 0; row < image.height; ++row) {
            std::memcpy(&screen[(static_cast<size_t>(image.y + row) * kWidth + image.x) * 3],
                        &decoded[static_cast<size_t>(row) * image.width * 3], static_cast<size_t>(image.width) * 3);
            std::fill_n(covered.begin() + static_cast<std::ptrdiff_t>(image.y + row) * kWidth + image.x, image.width, true);
        }
    }
    if (std::memcmp(jfifOut.data(), decoded.data(), decoded.size()) != 0) return false;
    // Only pixels some image covered are defined: the tiles leave gaps.
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            if (!covered[static_cast<size_t>(y) * kWidth + x]) continue;
            if (std::memcmp(fb.ScreenRow(y) + static_cast<size_t>(x) * 4,
                            &screen[(static_cast<size_t>(y) * kWidth + x) * 3], 3) != 0) {
                return false;
            }
        }
    }
    return true;
}

}  // namespace

int main() {
    const std::vector<uint8_t> screen = bench::MakeScreen(kWidth, kHeight);
    const Workload workloads[] = {MakeWorkload("40 tiles 256x256", screen, true),
                                  MakeWorkload("full frame 1920x1080", screen, false)};

    int fds[2];
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0) return 1;
    StreamConnection reader, writer(StreamRole::Server);
    MessageChannel channel(reader);
    channel.SetSocket(fds[0]);
    if (!channel.AllocateBuffers(kWidth, kHeight, 24)) return 1;
    FrameBuffer fb;
    if (!fb.CreateWorkBitmap(kWidth, kHeight, 24, true)) return 1;
    NoEvents events;
    DisplayMessages display(fb, events);
    display.SetProtocolVersion(200);
    MessageRouter router;
    display.Register(router);
    UpdateReader dispatcher{channel, display, router};

    tjhandle handle = tjInitDecompress();
    std::vector<uint8_t> turboOut(static_cast<size_t>(kWidth) * kHeight * 4);
    std::vector<uint8_t> jfifOut(static_cast<size_t>(kWidth) * 3 * ((kHeight + 15) / 16 * 16));
    bool allGood = true;
    for (const Workload& w : workloads) {
        size_t bytes = 0;
        for (const Image& image : w.images) bytes += image.jpeg.size();
        std::vector<double> turboBgrx, updates, turboBgr, jfif;
        for (int run = 0; run <= kRuns; ++run) {  // run 0 warms up
            const double a = TimeTurbo(w, handle, TJPF_BGRX, turboOut);
            const double u = TimeUpdates(w, dispatcher, writer, fds[1]);
            const double b = TimeTurbo(w, handle, TJPF_BGR, turboOut);
            const double j = TimeJfif(w, jfifOut);
            if (run == 0) continue;
            turboBgrx.push_back(a);
            updates.push_back(u);
            turboBgr.push_back(b);
            jfif.push_back(j);
        }
        const bool good = Check(w, fb, handle, jfifOut);
        allGood &= good;
        const double a = Median(turboBgrx), u = Median(updates), b = Median(turboBgr), j = Median(jfif);
        std::printf("%s: %zu images, %zu JPEG bytes, %.1f Mpixel\n", w.name, w.images.size(), bytes, w.pixels / 1e6);
        std::printf("  TurboJPEG to BGRX:              %7.2f ms (median of %d)\n", a * 1000, kRuns);
        std::printf("  image updates to frame buffer:  %7.2f ms   ratio %.3f  (target >= 0.95)\n", u * 1000, a / u);
        std::printf("  TurboJPEG to BGR:               %7.2f ms\n", b * 1000);
        std::printf("  restricted JFIF decoder:        %7.2f ms   ratio %.3f  (target >= 0.95)\n", j * 1000, b / j);
        std::printf("  output %s TurboJPEG's decode\n", good ? "matches" : "DIFFERS FROM");
    }
    tjDestroy(handle);
    close(fds[0]);
    close(fds[1]);
    return allGood ? 0 : 2;
}
