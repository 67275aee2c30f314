#include "display/display_messages.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <optional>

#include "config/error_box.h"
#include "config/log.h"
#include "display/colour_table.h"
#include "display/compform_table.h"
#include "display/cursor_shape.h"
#include "display/display_records.h"
#include "display/jpeg_image_decoder.h"
#include "display/jpeg_rectangles.h"
#include "display/palette_chunks.h"
#include "display/pixels16.h"
#include "display/planar_rle.h"
#include "display/raw_rectangles.h"
#include "protocol/framing_limits.h"
#include "protocol/message_channel.h"
#include "protocol/records.h"

namespace corvane {

namespace {

// A millisecond tick that wraps at 32 bits, as the rate arithmetic expects.
uint32_t TickMilliseconds() {
    using namespace std::chrono;
    return static_cast<uint32_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

bool ImageDepth(uint32_t depth) {
    return depth == 8 || depth == 16 || depth == 24 || depth == 124 || depth == 224;
}

constexpr int kRateTitleDebugLevel = 66;
constexpr int kBellMilliseconds = 1000;
constexpr int kOldImageProtocol = 200;
// Drawing requests: the frame formats, and what makes the bitmap top-down.
constexpr int kCompformJfif1 = 101;
constexpr int kCompformJfif2 = 102;
constexpr int kCompformVideo = 201;
constexpr uint16_t kFormatTagTopDown = 260;
constexpr int kTopDownServerVersion = 940;

}  // namespace

DisplayMessages::DisplayMessages(FrameBuffer& frameBuffer, DisplayEvents& events, JfifDecodeFunction jfifDecode)
    : m_frameBuffer(frameBuffer), m_events(events), m_drawing(frameBuffer, events, jfifDecode) {}

void DisplayMessages::Register(MessageRouter& router) {
    const auto route = [&router, this](uint16_t type, void (DisplayMessages::*handler)(const MessageFrame&)) {
        router.Register(type, MinimumRecordSize(type), [this, handler](const MessageFrame& m) { (this->*handler)(m); });
    };
    route(ZRPPROTOCOL_MH_MESSBELL, &DisplayMessages::Bell);
    route(ZRPPROTOCOL_MH_MESSCOLT, &DisplayMessages::ColourTable);
    route(ZRPPROTOCOL_MH_MESSCRSH, &DisplayMessages::CursorShape);
    route(ZRPPROTOCOL_MH_MESSIMFB, &DisplayMessages::ImageUpdate);
    route(ZRPPROTOCOL_MH_MESSSTAT, &DisplayMessages::StatusInformation);
    route(ZRPPROTOCOL_MH_MESSDRRQ, &DisplayMessages::DrawingRequest);
    route(ZRPPROTOCOL_MH_MESSDRFB, &DisplayMessages::DrawingCommands);
    route(ZRPPROTOCOL_MH_MESSIMCD, &DisplayMessages::ImageCacheData);
    route(ZRPPROTOCOL_MH_MESSIMCR, &DisplayMessages::ImageCacheRestore);
}

// Accepted and left alone; image cache data still counts toward the frame rate.
void DisplayMessages::DrawingCommands(const MessageFrame&) {
    DebugPrint(10, "Processing ZRPPROTOCOL_MH_MESSDRFB\n");
    DebugPrint(1, "Received Drawing Comds for FB request\n");
}

void DisplayMessages::ImageCacheData(const MessageFrame&) {
    DebugPrint(10, "Processing ZRPPROTOCOL_MH_MESSIMCD\n");
    DebugPrint(1, "Received Image Cache Data request\n");
    CountImageFrame();
}

void DisplayMessages::ImageCacheRestore(const MessageFrame&) { DebugPrint(1, "Received Image Cache Restore request\n"); }

int DisplayMessages::NextDecodeClass() const { return DecodeClassForCompform(m_compform.load()); }

void DisplayMessages::Bell(const MessageFrame& message) {
    DebugPrint(10, "Processing ZRPPROTOCOL_MH_MESSBELL\n");
    DebugPrint(1, "Received bell request\n");
    // A bell the reader made up for an undecodable frame has frequency 0: no sound.
    if (message.record[BellRecordLayout::kSilent] == 0) {
        m_events.Beep(message.record[BellRecordLayout::kFrequency], kBellMilliseconds);
    }
}

void DisplayMessages::ColourTable(const MessageFrame& message) {
    DebugPrint(1, "Received Color Table -- %d colors\n",
               static_cast<int>(LoadField<uint32_t>(message.record, ColourTableLayout::kCount)));
    (void)UpdateColourTable(m_frameBuffer, m_events.BaseTitle(), message.record, message.recordBytes);
}

void DisplayMessages::CursorShape(const MessageFrame& message) {
    DebugPrint(1, "Received Cursor Shape request\n");
    if (const std::optional<CursorImage> image = DecodeCursorShape(message.record, message.recordBytes)) {
        m_events.CursorShape(*image);
    }
}

void DisplayMessages::StatusInformation(const MessageFrame& message) {
    DebugPrint(2, "Received Status Information request\n");
    const uint8_t* record = message.record;
    if (LoadField<uint32_t>(record, StatusRecordLayout::kKind) == StatusRecordLayout::kServerTimeKind) {
        m_serverTime.store(static_cast<int32_t>(LoadField<uint32_t>(record, StatusRecordLayout::kServerTime)));
        m_serverSecondValue.store(
            static_cast<int32_t>(LoadField<uint32_t>(record, StatusRecordLayout::kSecondValue)));
    }
    DebugPrint(2, "Server Time %d\n", m_serverTime.load());
}

void DisplayMessages::ImageUpdate(const MessageFrame& message) {
    CountImageFrame();
    DebugPrint(10, "Updating FB  compform = %d\n", m_compform.load());

    const uint8_t* header = message.header;
    int depth = m_frameBuffer.Depth();
    ImageDecoder decoder;
    if (LoadField<uint16_t>(header, RecordHeaderLayout::kFormatTag) == kFormatTagValid) {
        const int compform = static_cast<int>(LoadField<uint32_t>(header, RecordHeaderLayout::kCompform));
        m_compform.store(compform);
        const uint32_t headerDepth = LoadField<uint32_t>(header, RecordHeaderLayout::kDepth);
        if (ImageDepth(headerDepth)) depth = static_cast<int>(headerDepth);
        decoder = ImageDecoderForCompform(compform);
    } else if (message.decodeClass == kDecoderJpeg) {
        decoder = ImageDecoder::Jpeg;
    } else if (m_protocolVersion < kOldImageProtocol) {
        // Servers before 2.00 send every update raw, whatever compform is current.
        decoder = ImageDecoder::Raw;
    } else {
        decoder = ImageDecoderForCompform(m_compform.load());
    }

    switch (decoder) {
        case ImageDecoder::Raw:
            (void)DrawRawRectangles(m_frameBuffer, message.record, message.recordBytes, depth);
            break;
        case ImageDecoder::Planar:
            // The offset counts from the message start; the decoder counts from the record.
            (void)DrawPlanarRectangles(m_frameBuffer, message.record, message.recordBytes, depth,
                                       ImageUpdateLayout::kImageDataOffset - kRecordHeaderSize);
            break;
        case ImageDecoder::Pixels16:
            (void)DrawPixel16Rectangles(m_frameBuffer, message.record, message.recordBytes, depth);
            break;
        case ImageDecoder::Jpeg:
            // An update that did not come as a JPEG image has nothing to draw here.
            if (message.jpegImage) JpegImage(message, depth);
            break;
        case ImageDecoder::PaletteChunks:
            (void)DrawPaletteChunkRectangles(m_frameBuffer, message.record, message.recordBytes, depth);
            break;
    }
    DebugPrint(58, "Got screen update request\n");
    m_events.FrameDrawn();
}

void DisplayMessages::JpegImage(const MessageFrame& message, int depth) {
    constexpr size_t kImageInRecord = ImageUpdateLayout::kFirstRectangle + RectangleHeaderLayout::kSize;
    if (message.recordBytes < kImageInRecord) return;
    const uint8_t* jpeg = message.record + kImageInRecord;
    const size_t jpegBytes = message.recordBytes - kImageInRecord;
    int width = 0;
    int height = 0;
    // No image is larger than the largest message there can be.
    const uint8_t* pixels = m_jpeg.DecodeToOwnBuffer(jpeg, jpegBytes, kMaxFrameSize, width, height);
    if (pixels == nullptr) {
        DebugPrint(0, "ZRPGEN:  JPEG image frame did not decode ... skipping frame...\n");
        return;
    }
    (void)DrawJpegRectangles(m_frameBuffer, message.record, message.recordBytes, depth, pixels, width, height);
}

void DisplayMessages::DrawingRequest(const MessageFrame& message) {
    const uint8_t* record = message.record;
    const uint32_t dataSize = LoadField<uint32_t>(record, DrawingRequestLayout::kDataSize);
    DebugPrint(1, "Received Drawing Request: %dx%d @ %d,%d : %d bytes\n",
               static_cast<int>(LoadField<uint32_t>(record, DrawingRequestLayout::kWidth)),
               static_cast<int>(LoadField<uint32_t>(record, DrawingRequestLayout::kHeight)),
               static_cast<int>(LoadField<uint32_t>(record, DrawingRequestLayout::kX)),
               static_cast<int>(LoadField<uint32_t>(record, DrawingRequestLayout::kY)),
               static_cast<int>(dataSize));
    CountDrawingFrame();
    bool handedOn = false;
    if (dataSize != 0) {
        const uint16_t tag = LoadField<uint16_t>(message.header, RecordHeaderLayout::kFormatTag);
        const bool topDown = tag == kFormatTagTopDown || m_serverVersion >= kTopDownServerVersion;
        if (topDown != m_frameBuffer.TopDown()) {
            // Frames still decoding were clipped to the bitmap they started on: let them land
            // before the bitmap goes.
            m_drawing.WaitForIdle();
            (void)m_frameBuffer.CreateWorkBitmap(m_frameBuffer.Width(), m_frameBuffer.SessionHeight(),
                                                 m_frameBuffer.Depth(), topDown);
        }
        if (tag == kFormatTagValid) {
            const int compform =
                static_cast<int>(LoadField<uint32_t>(message.header, RecordHeaderLayout::kCompform));
            m_compform.store(compform);
            handedOn = DrawingRequestFrame(message, compform);
        }
    }
    if (!handedOn) m_events.FrameDrawn();
}

void DisplayMessages::CountImageFrame() {
    // The period restarts whatever the debug level; only the title waits for level 66.
    if (m_rate.Count(TickMilliseconds()) && DebugLevel() == kRateTitleDebugLevel) ShowRate();
}

void DisplayMessages::CountDrawingFrame() {
    const bool periodEnded = m_rate.Count(TickMilliseconds());
    if (periodEnded || m_compform.load() != m_shownCompform) {
        ShowRate();
        m_shownCompform = m_compform.load();
    }
}

void DisplayMessages::ShowRate() {
    m_events.SetTitle(RateTitle(m_events.BaseTitle(), m_rate.FramesPerSecond(),
                                CompformName(m_compform.load()), m_events.LocalMode()));
}

bool DisplayMessages::DrawingRequestFrame(const MessageFrame& message, int compform) {
    const uint8_t* record = message.record;
    const uint32_t dataSize = LoadField<uint32_t>(record, DrawingRequestLayout::kDataSize);
    const size_t inMessage = message.recordBytes - DrawingRequestLayout::kData;
    if (dataSize > inMessage) {
        DebugPrint(0, "Drawing request: frame of %u bytes, the message holds %zu: dropped\n",
                   dataSize, inMessage);
        return false;
    }
    const uint8_t* frame = record + DrawingRequestLayout::kData;
    switch (compform) {
        case kCompformJfif1:
        case kCompformJfif2:
            return m_drawing.StartFrame(
                       frame, dataSize, static_cast<int>(LoadField<uint32_t>(record, DrawingRequestLayout::kX)),
                       static_cast<int>(LoadField<uint32_t>(record, DrawingRequestLayout::kY)),
                       static_cast<int>(LoadField<uint32_t>(record, DrawingRequestLayout::kWidth)),
                       static_cast<int>(LoadField<uint32_t>(record, DrawingRequestLayout::kHeight))) ==
                   DrawingRequestEngine::kStarted;
        case kCompformVideo:
            // Frames are drawn in the order they came: a JPEG frame still decoding must not
            // land on top of this newer one.
            m_drawing.WaitForIdle();
            (void)m_video.DecodeFrame(frame, dataSize, m_frameBuffer);
            m_frameBuffer.AddDamageAll();
            return false;
        default:
            return false;
    }
}

}  // namespace corvane
