// The limits a client could reach on a recorded session (bench/replay_bench.sh): the same
// frames, taken from memory instead of a socket, through the libraries alone: zlib's
// uncompress for every deflated body, TurboJPEG into a BGRX frame buffer for every JPEG
// image and JFIF drawing request, libvpx (with the client's decoder threads) and libyuv's
// I420ToARGB for every VP8 drawing request, and memcpy of every other inflated body into a
// frame buffer (the rectangle decoders' own anchor). The sum is what no client can beat; the
// replay benchmark divides it by what the client took. The client decodes JFIF drawing
// requests on as many threads as its default limit and the cores allow, so their decode time
// counts divided by that number: a perfect split.
//
// Usage: replay_limits_bench RECORDING [SERVER-CODE]
// Prints, after a warm-up pass, the median of five passes:
//   limits frames=F updates=U wire-bytes=B inflated-bytes=I inflate-ms=A decode-ms=D copy-ms=C total-ms=T
//   jfif-threads=N
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <libyuv/convert_argb.h>
#include <turbojpeg.h>
#include <vpx/vp8dx.h>
#include <vpx/vpx_decoder.h>
#include <zlib.h>

#include "crypto/payload_cipher.h"
#include "crypto/payload_key.h"
#include "display/display_records.h"
#include "display/drawing_requests.h"
#include "display/video_frames.h"
#include "protocol/framing_limits.h"
#include "protocol/message_types.h"
#include "protocol/records.h"
#include "tools/testserver/drawing_stream.h"
#include "tools/testserver/recording.h"

namespace {

using namespace corvane;
using Clock = std::chrono::steady_clock;

constexpr int kPasses = 5;
using testserver::kCompformJfif1;
using testserver::kCompformJfif2;
using testserver::kCompformVideo;
// A VP8 frame's data: its byte count (little-endian) and 8 bytes the decoder skips.
constexpr size_t kVideoHeaderSize = VideoFrameDecoder::kHeaderSize;

unsigned Cores() { return std::max(1u, std::thread::hardware_concurrency()); }

// The JFIF decodes the client runs at once by default.
unsigned JfifThreads() { return std::min<unsigned>(DrawingRequestEngine::kDefaultThreadLimit, Cores()); }

struct Frame {
    uint16_t envelope = 0;
    std::vector<uint8_t> body;  // as it came, still enciphered
};

struct Pass {
    double inflate = 0, decode = 0, copy = 0;  // seconds; JFIF decodes already shared out
    size_t inflated = 0;
};

// A drawing request's frame in an inflated body: its compform and data; no data when the
// body is something else.
struct DrawingFrame {
    uint32_t compform = 0;
    const uint8_t* data = nullptr;
    size_t size = 0;
};

DrawingFrame FindDrawingFrame(const uint8_t* body, size_t size) {
    constexpr size_t kPeek = kRecordHeaderSize + DrawingRequestLayout::kData;
    if (size < kPeek) return {};
    uint8_t peek[kPeek];
    std::memcpy(peek, body, sizeof peek);
    RecordHeaderToHost(peek);
    const uint16_t type = LoadField<uint16_t>(peek, RecordHeaderLayout::kType);
    if (type != ZRPPROTOCOL_MH_MESSDRRQ) return {};
    RecordToHost(peek + kRecordHeaderSize, type, DrawingRequestLayout::kData);
    const uint32_t dataSize = LoadField<uint32_t>(peek + kRecordHeaderSize, DrawingRequestLayout::kDataSize);
    if (dataSize > size - kPeek) return {};
    return {LoadField<uint32_t>(peek, RecordHeaderLayout::kCompform), body + kPeek, dataSize};
}

bool SplitFrames(const std::vector<uint8_t>& bytes, std::vector<Frame>& frames) {
    size_t at = 0;
    while (at + kFrameHeaderSize <= bytes.size()) {
        uint8_t header[kFrameHeaderSize];
        std::memcpy(header, bytes.data() + at, sizeof header);
        FrameHeaderToHost(header);
        const uint32_t size = LoadField<uint32_t>(header, FrameHeaderLayout::kSize);
        if (size < kFrameHeaderSize || size > bytes.size() - at) return false;
        Frame frame;
        frame.envelope = LoadField<uint16_t>(header, FrameHeaderLayout::kEnvelope);
        frame.body.assign(bytes.begin() + static_cast<ptrdiff_t>(at + kFrameHeaderSize),
                          bytes.begin() + static_cast<ptrdiff_t>(at + size));
        frames.push_back(std::move(frame));
        at += size;
    }
    return at == bytes.size();
}

bool IsJpegImage(const std::vector<uint8_t>& body) {
    if (body.size() < kJpegImagePrefixSize) return false;
    uint8_t peek[kRecordHeaderSize + 8];
    std::memcpy(peek, body.data(), sizeof peek);
    RecordHeaderToHost(peek);
    const uint16_t type = LoadField<uint16_t>(peek, RecordHeaderLayout::kType);
    if (type != ZRPPROTOCOL_MH_MESSIMFB) return false;
    RecordToHost(peek + kRecordHeaderSize, type, 8);
    return LoadField<uint32_t>(peek + kRecordHeaderSize, ImageRecordLayout::kImageType) == ImageRecordLayout::kJpegImage;
}

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

class Limits {
  public:
    Limits(const testserver::Recording& recording, const PayloadKey& key)
        : m_key(key),
          m_width(recording.geometry.width),
          m_height(recording.geometry.height),
          m_inflated(MessageBufferSize(recording.geometry.width, recording.geometry.height, recording.geometry.depth)),
          m_frameBuffer(static_cast<size_t>(recording.geometry.width) * (recording.geometry.height + 16) * 4),
          m_jpeg(tjInitDecompress()) {}
    ~Limits() {
        tjDestroy(m_jpeg);
        if (m_videoReady) vpx_codec_destroy(&m_video);
    }
    Limits(const Limits&) = delete;
    Limits& operator=(const Limits&) = delete;

    // One pass over every frame; false when a body does not inflate or an image not decode.
    bool RunPass(const std::vector<Frame>& frames, Pass& pass) {
        pass = {};
        // Each pass plays the video from its first (key) frame.
        if (m_videoReady) vpx_codec_destroy(&m_video);
        m_videoReady = false;
        for (const Frame& frame : frames) {
            m_body = frame.body;  // the copy the client reads into; not timed
            const bool enciphered = frame.envelope == COMPEXT || frame.envelope == COMPAES;
            Clock::time_point t0 = Clock::now();
            if (enciphered) (void)DecipherBlocks(m_body.data(), std::min<size_t>(m_body.size(), 64), 16, m_key);  // short bodies travel as they are
            if (frame.envelope == COMPEXT && IsJpegImage(m_body)) {
                if (!DecodeJpeg(pass, t0)) return false;
                continue;
            }
            const uint8_t* data = m_body.data();
            size_t size = m_body.size();
            if (frame.envelope == COMPSTD || frame.envelope == COMPEXT) {
                uLongf length = static_cast<uLongf>(m_inflated.size());
                if (uncompress(m_inflated.data(), &length, m_body.data(), static_cast<uLong>(m_body.size())) != Z_OK) {
                    return false;
                }
                data = m_inflated.data();
                size = length;
            }
            const Clock::time_point t1 = Clock::now();
            pass.inflate += Seconds(t0, t1);
            pass.inflated += size;
            if (const DrawingFrame drawing = FindDrawingFrame(data, size); drawing.data != nullptr) {
                if (!DecodeDrawingFrame(drawing, pass)) return false;
                continue;
            }
            // What follows the record header lands in the frame buffer once.
            const size_t pixels = size > kRecordHeaderSize ? std::min(size - kRecordHeaderSize, m_frameBuffer.size()) : 0;
            std::memcpy(m_frameBuffer.data(), data + (size - pixels), pixels);
            pass.copy += Seconds(t1, Clock::now());
        }
        return true;
    }

    [[nodiscard]] uint8_t Touch() const { return m_frameBuffer[m_frameBuffer.size() / 2]; }

  private:
    bool DecodeJpeg(Pass& pass, Clock::time_point t0) {
        const uint8_t* jpeg = m_body.data() + kJpegImagePrefixSize;
        const unsigned long size = static_cast<unsigned long>(m_body.size() - kJpegImagePrefixSize);
        int width = 0, height = 0, subsampling = 0, colourspace = 0;
        if (tjDecompressHeader3(m_jpeg, jpeg, size, &width, &height, &subsampling, &colourspace) != 0 ||
            width > m_width || height > m_height) {
            return false;
        }
        const Clock::time_point t1 = Clock::now();
        pass.inflate += Seconds(t0, t1);
        if (tjDecompress2(m_jpeg, jpeg, size, m_frameBuffer.data(), width, m_width * 4, height, TJPF_BGRX,
                          TJFLAG_FASTDCT) != 0) {
            return false;
        }
        pass.decode += Seconds(t1, Clock::now());
        pass.inflated += m_body.size();
        return true;
    }

    bool DecodeDrawingFrame(const DrawingFrame& drawing, Pass& pass) {
        const Clock::time_point t0 = Clock::now();
        if (drawing.compform == kCompformJfif1 || drawing.compform == kCompformJfif2) {
            int width = 0, height = 0, subsampling = 0, colourspace = 0;
            const auto size = static_cast<unsigned long>(drawing.size);
            if (tjDecompressHeader3(m_jpeg, drawing.data, size, &width, &height, &subsampling, &colourspace) != 0 ||
                width > m_width || height > m_height ||
                tjDecompress2(m_jpeg, drawing.data, size, m_frameBuffer.data(), width, m_width * 4, height,
                              TJPF_BGRX, 0) != 0) {
                return false;
            }
            pass.decode += Seconds(t0, Clock::now()) / JfifThreads();
            return true;
        }
        if (drawing.compform != kCompformVideo) return true;
        if (!m_videoReady) {
            vpx_codec_dec_cfg_t config{};
            config.threads = std::min(Cores(), VideoFrameDecoder::kMostThreads);
            config.w = static_cast<unsigned>(m_width);
            config.h = static_cast<unsigned>(m_height);
            if (vpx_codec_dec_init(&m_video, vpx_codec_vp8_dx(), &config, 0) != VPX_CODEC_OK) return false;
            m_videoReady = true;
        }
        if (drawing.size < kVideoHeaderSize) return false;
        const uint8_t* d = drawing.data;
        const uint32_t size = uint32_t{d[0]} | uint32_t{d[1]} << 8 | uint32_t{d[2]} << 16 | uint32_t{d[3]} << 24;
        if (size > drawing.size - kVideoHeaderSize ||
            vpx_codec_decode(&m_video, drawing.data + kVideoHeaderSize, size, nullptr, 0) != VPX_CODEC_OK) {
            return false;
        }
        const Clock::time_point t1 = Clock::now();
        pass.decode += Seconds(t0, t1);
        vpx_codec_iter_t iterator = nullptr;
        while (const vpx_image_t* image = vpx_codec_get_frame(&m_video, &iterator)) {
            const int width = std::min(static_cast<int>(image->d_w), m_width);
            const int height = std::min(static_cast<int>(image->d_h), m_height);
            libyuv::I420ToARGB(image->planes[VPX_PLANE_Y], image->stride[VPX_PLANE_Y], image->planes[VPX_PLANE_U],
                               image->stride[VPX_PLANE_U], image->planes[VPX_PLANE_V], image->stride[VPX_PLANE_V],
                               m_frameBuffer.data(), m_width * 4, width, height);
        }
        pass.copy += Seconds(t1, Clock::now());
        return true;
    }

    const PayloadKey m_key;
    const int m_width;
    const int m_height;
    std::vector<uint8_t> m_body;
    std::vector<uint8_t> m_inflated;
    std::vector<uint8_t> m_frameBuffer;
    tjhandle m_jpeg;
    vpx_codec_ctx_t m_video{};
    bool m_videoReady = false;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: replay_limits_bench RECORDING [SERVER-CODE]\n");
        return 2;
    }
    testserver::Recording recording;
    std::string error;
    if (!testserver::ReadRecording(argv[1], recording, error)) {
        std::fprintf(stderr, "replay_limits_bench: %s\n", error.c_str());
        return 1;
    }
    std::vector<Frame> frames;
    if (!SplitFrames(recording.bytes, frames)) {
        std::fprintf(stderr, "replay_limits_bench: the recording does not end on a whole frame\n");
        return 1;
    }
    Limits limits(recording, BuildPayloadKey(argc == 3 ? argv[2] : ""));
    Pass pass;
    std::vector<Pass> passes;
    for (int i = 0; i <= kPasses; ++i) {  // the first pass warms the caches and is not counted
        if (!limits.RunPass(frames, pass)) {
            std::fprintf(stderr, "replay_limits_bench: a frame did not inflate or decode\n");
            return 1;
        }
        if (i > 0) passes.push_back(pass);
    }
    const auto total = [](const Pass& p) { return p.inflate + p.decode + p.copy; };
    std::sort(passes.begin(), passes.end(), [&](const Pass& a, const Pass& b) { return total(a) < total(b); });
    const Pass& median = passes[passes.size() / 2];
    std::printf("limits frames=%zu updates=%u wire-bytes=%zu inflated-bytes=%zu inflate-ms=%.2f decode-ms=%.2f "
                "copy-ms=%.2f total-ms=%.2f jfif-threads=%u (touch %u)\n",
                frames.size(), recording.updates, recording.bytes.size(), median.inflated, median.inflate * 1e3,
                median.decode * 1e3, median.copy * 1e3, total(median) * 1e3, JfifThreads(), limits.Touch());
    return 0;
}
