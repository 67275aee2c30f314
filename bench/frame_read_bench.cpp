// How fast the receive path takes COMPSTD frames of screen content off a socket, against
// zlib's uncompress of the same bodies from memory in the same run.
//
// A writer thread pushes the frames of one full 1920x1080x32 screen (in 240x120 rectangles)
// through a socket pair; the reader takes them with MessageChannel::ReadMessage. The ratio
// is uncompress time / read time: 1.0 means the socket, the framing and the inflation cost
// no more than inflating alone. It also counts the heap allocations the reading thread makes
// per frame, which must be zero.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include <malloc.h>
#include <sys/socket.h>
#include <unistd.h>
#include <zlib.h>

#include "allocation_counter.h"
#include "protocol/frame_builder.h"
#include "protocol/message_channel.h"
#include "protocol/records.h"
#include "protocol/stream_connection.h"
#include "screen_content.h"

namespace {

using namespace corvane;
using Clock = std::chrono::steady_clock;

constexpr int kWidth = 1920, kHeight = 1080, kTileWidth = 240, kTileHeight = 120;
constexpr int kScreensPerRun = 8;
constexpr int kRuns = 7;

struct Workload {
    std::vector<std::vector<uint8_t>> bodies;      // uncompressed message bodies (wire order)
    std::vector<std::vector<uint8_t>> compressed;  // their COMPSTD bodies
    std::vector<uint8_t> stream;                   // every frame, back to back
};

Workload MakeWorkload() {
    Workload w;
    std::vector<uint8_t> screen = bench::MakeScreen(kWidth, kHeight);
    for (int ty = 0; ty < kHeight; ty += kTileHeight) {
        for (int tx = 0; tx < kWidth; tx += kTileWidth) {
            std::vector<uint8_t> body(kRecordHeaderSize + 28);
            MakeRecordHeader(body.data(), ZRPPROTOCOL_MH_MESSIMFB);
            RecordHeaderToWire(body.data());
            for (int y = ty; y < ty + kTileHeight; ++y) {
                const uint8_t* row = &screen[(static_cast<size_t>(y) * kWidth + tx) * 4];
                body.insert(body.end(), row, row + kTileWidth * 4);
            }
            FrameBuilder frame;
            if (!frame.Build(COMPSTD, body.data(), body.size(), {}, BodyCoding::Deflate)) std::abort();
            w.compressed.emplace_back(frame.data() + kFrameHeaderSize, frame.data() + frame.size());
            w.stream.insert(w.stream.end(), frame.data(), frame.data() + frame.size());
            w.bodies.push_back(std::move(body));
        }
    }
    return w;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Seconds to inflate every body kScreensPerRun times with uncompress.
double TimeUncompress(const Workload& w, std::vector<uint8_t>& out) {
    auto start = Clock::now();
    for (int s = 0; s < kScreensPerRun; ++s) {
        for (size_t i = 0; i < w.compressed.size(); ++i) {
            uLongf size = static_cast<uLongf>(out.size());
            if (uncompress(out.data(), &size, w.compressed[i].data(), static_cast<uLong>(w.compressed[i].size())) != Z_OK ||
                size != w.bodies[i].size()) {
                std::abort();
            }
        }
    }
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Seconds to read every frame kScreensPerRun times off a socket pair; counts allocations.
double TimeChannel(const Workload& w, MessageChannel& channel, int readFd, int writeFd,
                   StreamConnection& writer, long& allocations) {
    std::thread producer([&] {
        for (int s = 0; s < kScreensPerRun; ++s) {
            if (writer.zRPshWrite(writeFd, w.stream.data(), static_cast<int>(w.stream.size())) < 0) std::abort();
        }
    });
    channel.SetSocket(readFd);
    bench::AllocationCounter counter;
    auto start = Clock::now();
    for (int s = 0; s < kScreensPerRun; ++s) {
        for (size_t i = 0; i < w.bodies.size(); ++i) {
            MessageFrame frame;
            if (channel.ReadMessage(kDecoderDeflate, frame) != 0 ||
                kRecordHeaderSize + frame.recordBytes != w.bodies[i].size()) {
                std::abort();
            }
        }
    }
    double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    allocations = counter.Count();
    producer.join();
    return seconds;
}

}  // namespace

int main() {
    Workload w = MakeWorkload();
    size_t raw = 0, packed = 0;
    for (size_t i = 0; i < w.bodies.size(); ++i) {
        raw += w.bodies[i].size();
        packed += w.compressed[i].size();
    }
    std::printf("workload: %zu COMPSTD frames per screen, %zu bytes raw, %zu deflated (%.1f%%)\n",
                w.bodies.size(), raw, packed, 100.0 * packed / raw);

    int fds[2];
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0) return 1;
    StreamConnection reader, writer(StreamRole::Server);
    MessageChannel channel(reader);
    if (!channel.AllocateBuffers(kWidth, kHeight, 24)) return 1;
    std::vector<uint8_t> out(channel.BufferSize());

    std::vector<double> anchor, measured;
    long allocations = 0;
    for (int run = 0; run <= kRuns; ++run) {  // run 0 warms up
        double a = TimeUncompress(w, out);
        double m = TimeChannel(w, channel, fds[0], fds[1], writer, allocations);
        if (run == 0) continue;
        anchor.push_back(a);
        measured.push_back(m);
    }
    double frames = static_cast<double>(w.bodies.size()) * kScreensPerRun;
    double a = Median(anchor), m = Median(measured);
    std::printf("uncompress from memory: %.2f ms per screen (median of %d)\n", a * 1000 / kScreensPerRun, kRuns);
    std::printf("ReadMessage from socket: %.2f ms per screen (median of %d)\n", m * 1000 / kScreensPerRun, kRuns);
    std::printf("allocations per frame on the reading thread: %.3f\n", allocations / frames);
    std::printf("ratio (uncompress / ReadMessage): %.3f  (target >= 0.95)\n", a / m);
    close(fds[0]);
    close(fds[1]);
    return allocations == 0 ? 0 : 2;
}
