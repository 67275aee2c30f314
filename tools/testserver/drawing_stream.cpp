#include "tools/testserver/drawing_stream.h"

#include <vpx/vp8cx.h>
#include <vpx/vpx_encoder.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "display/display_records.h"
#include "protocol/message_types.h"
#include "protocol/records.h"
#include "tools/testserver/jpeg_encoder.h"

namespace corvane::testserver {

namespace {

constexpr uint16_t kFormatTagValid = 257;
constexpr uint32_t kDepth24 = 24;
constexpr size_t kVideoHeaderSize = 12;
constexpr size_t kRecordSize = DrawingRequestLayout::kData;
// Quantisers low enough that the desktop's text and edges survive.
constexpr unsigned kMinQuantizer = 2;
constexpr unsigned kMaxQuantizer = 24;
// libvpx --cpu-used in real-time mode: negative fixes the speed at 8 (the fastest); a positive
// value would let the encoder adapt it to how long frames take, and the stream would depend on
// the machine's load.
constexpr int kSpeed = -8;

uint8_t Clamp(double value) {
    return static_cast<uint8_t>(std::clamp(std::lround(value), 0L, 255L));
}

}  // namespace

bool IsDrawingCompform(uint32_t compform) {
    return compform == kCompformJfif1 || compform == kCompformJfif2 || compform == kCompformVideo;
}

std::vector<uint8_t> DesktopI420(const Desktop& desktop, int frame) {
    const int width = desktop.Width();
    const int height = desktop.Height();
    const int chromaWidth = (width + 1) / 2;
    const int chromaHeight = (height + 1) / 2;
    const size_t lumaSize = static_cast<size_t>(width) * height;
    const size_t chromaSize = static_cast<size_t>(chromaWidth) * chromaHeight;
    std::vector<uint8_t> planes(lumaSize + 2 * chromaSize);
    std::vector<double> u(chromaSize, 0.0), v(chromaSize, 0.0);
    std::vector<int> samples(chromaSize, 0);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const Rgb c = desktop.ColourAt(x, y, frame);
            const double luma = 0.299 * c.red + 0.587 * c.green + 0.114 * c.blue;
            planes[static_cast<size_t>(y) * width + x] = Clamp(luma);
            const size_t at = static_cast<size_t>(y / 2) * chromaWidth + x / 2;
            u[at] += 0.492 * (c.blue - luma);
            v[at] += 0.877 * (c.red - luma);
            ++samples[at];
        }
    }
    for (size_t i = 0; i < chromaSize; ++i) {
        planes[lumaSize + i] = Clamp(128.0 + u[i] / samples[i]);
        planes[lumaSize + chromaSize + i] = Clamp(128.0 + v[i] / samples[i]);
    }
    return planes;
}

struct DrawingStream::Vp8 {
    vpx_codec_ctx_t codec{};
    bool ready = false;
    ~Vp8() {
        if (ready) vpx_codec_destroy(&codec);
    }
};

DrawingStream::DrawingStream(const Desktop& desktop, uint32_t compform)
    : m_desktop(desktop), m_compform(compform) {
    if (compform != kCompformVideo) return;
    m_vp8 = std::make_unique<Vp8>();
    vpx_codec_enc_cfg_t config;
    if (vpx_codec_enc_config_default(vpx_codec_vp8_cx(), &config, 0) != VPX_CODEC_OK) return;
    config.g_w = static_cast<unsigned>(desktop.Width());
    config.g_h = static_cast<unsigned>(desktop.Height());
    config.g_threads = 1;
    config.g_lag_in_frames = 0;
    config.g_timebase = {1, 25};
    config.rc_end_usage = VPX_Q;
    config.rc_min_quantizer = kMinQuantizer;
    config.rc_max_quantizer = kMaxQuantizer;
    config.kf_mode = VPX_KF_DISABLED;  // one key frame, at the start
    if (vpx_codec_enc_init(&m_vp8->codec, vpx_codec_vp8_cx(), &config, 0) != VPX_CODEC_OK) return;
    m_vp8->ready = true;
    vpx_codec_control(&m_vp8->codec, VP8E_SET_TOKEN_PARTITIONS,
                      static_cast<int>(VP8_TWO_TOKENPARTITION));
    vpx_codec_control(&m_vp8->codec, VP8E_SET_CPUUSED, kSpeed);
    vpx_codec_control(&m_vp8->codec, VP8E_SET_CQ_LEVEL, static_cast<unsigned>(kMinQuantizer));
}

DrawingStream::~DrawingStream() = default;

std::vector<uint8_t> DrawingStream::Frame(int frame) {
    const int width = m_desktop.Width();
    const int height = m_desktop.Height();
    if (m_compform != kCompformVideo) {
        std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                const Rgb c = m_desktop.ColourAt(x, y, frame);
                uint8_t* out = &rgb[(static_cast<size_t>(y) * width + x) * 3];
                out[0] = c.red;
                out[1] = c.green;
                out[2] = c.blue;
            }
        }
        return EncodeJfif(rgb.data(), width, height, width * 3, kDrawingJfifQuality);
    }

    if (!m_vp8 || !m_vp8->ready) return {};
    std::vector<uint8_t> planes = DesktopI420(m_desktop, frame);
    vpx_image_t image;
    if (!vpx_img_wrap(&image, VPX_IMG_FMT_I420, static_cast<unsigned>(width),
                      static_cast<unsigned>(height), 1, planes.data())) {
        return {};
    }
    if (vpx_codec_encode(&m_vp8->codec, &image, frame, 1, 0, VPX_DL_REALTIME) != VPX_CODEC_OK)
        return {};
    std::vector<uint8_t> out(kVideoHeaderSize, 0);
    vpx_codec_iter_t iterator = nullptr;
    while (const vpx_codec_cx_pkt_t* packet = vpx_codec_get_cx_data(&m_vp8->codec, &iterator)) {
        if (packet->kind != VPX_CODEC_CX_FRAME_PKT) continue;
        const auto* bytes = static_cast<const uint8_t*>(packet->data.frame.buf);
        out.insert(out.end(), bytes, bytes + packet->data.frame.sz);
    }
    const size_t size = out.size() - kVideoHeaderSize;
    if (size == 0) return {};
    for (int i = 0; i < 4; ++i) out[i] = static_cast<uint8_t>(size >> (8 * i));
    return out;
}

std::vector<uint8_t> DrawingStream::Body(int frame) {
    const std::vector<uint8_t> data = Frame(frame);
    if (data.empty()) return {};
    std::vector<uint8_t> body(kRecordHeaderSize + kRecordSize + data.size());
    uint8_t* header = body.data();
    MakeRecordHeader(header, ZRPPROTOCOL_MH_MESSDRRQ);
    StoreField<uint32_t>(header, RecordHeaderLayout::kSize, static_cast<uint32_t>(body.size()));
    StoreField<uint16_t>(header, RecordHeaderLayout::kFormatTag, kFormatTagValid);
    StoreField<uint32_t>(header, RecordHeaderLayout::kCompform, m_compform);
    StoreField<uint32_t>(header, RecordHeaderLayout::kDepth, kDepth24);
    RecordHeaderToWire(header);
    uint8_t* record = body.data() + kRecordHeaderSize;
    StoreField<uint32_t>(record, DrawingRequestLayout::kDataSize,
                         static_cast<uint32_t>(data.size()));
    StoreField<uint32_t>(record, DrawingRequestLayout::kX, 0);
    StoreField<uint32_t>(record, DrawingRequestLayout::kY, 0);
    StoreField<uint32_t>(record, DrawingRequestLayout::kWidth,
                         static_cast<uint32_t>(m_desktop.Width()));
    StoreField<uint32_t>(record, DrawingRequestLayout::kHeight,
                         static_cast<uint32_t>(m_desktop.Height()));
    RecordToWire(record, ZRPPROTOCOL_MH_MESSDRRQ, kRecordSize);
    std::memcpy(record + kRecordSize, data.data(), data.size());
    return body;
}

}  // namespace corvane::testserver
