#include "display/message_dispatcher.h"

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
#include "display/jpeg_rectangles.h"
#include "display/palette_chunks.h"
#include "display/pixels16.h"
#include "display/planar_rle.h"
#include "display/raw_rectangles.h"
#include "protocol/framing_limits.h"
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

MessageDispatcher::MessageDispatcher(MessageChannel& channel, FrameBuffer& frameBuffer,
                                     DisplayEvents& events, JfifDecodeFunction jfifDecode)
    : m_channel(channel), m_frameBuffer(frameBuffer), m_events(events),
      m_drawing(frameBuffer, events, jfifDecode) {}

int MessageDispatcher::ProcessMessage() {
    int decodeClass = DecodeClassForCompform(m_compform.load());
    size_t capacity = kMaxFrameSize;
    int jpegWidth = 0;
    int jpegHeight = 0;
    if (m_channel.ReadMessage(capacity, decodeClass, jpegWidth, jpegHeight) != 0) return -1;

    uint8_t* buffer = m_channel.MessageBuffer();
    // The reader reports a JPEG image it decoded by its pixels alone; the record header and
    // image record in front of them are there too.
    const size_t length = jpegWidth > 0 ? kJpegImagePrefixSize + capacity : capacity;
    if (length < kRecordHeaderSize) {
        DebugPrint(0, "ProcessMessage(): message of %zu bytes has no record header: ignored\n", length);
        return 0;
    }
    const uint16_t type = LoadField<uint16_t>(buffer, RecordHeaderLayout::kType);
    DebugPrint(15, "Message type: %d  size: %d  stat: %d  fs_mode: %d\n", type,
               static_cast<int>(LoadField<uint32_t>(buffer, RecordHeaderLayout::kSize)),
               static_cast<int>(LoadField<uint32_t>(buffer, RecordHeaderLayout::kStatus)),
               m_events.FullScreenSession() ? 1 : 0);

    const size_t needed = MinimumRecordSize(type);
    if (needed == 0) return UnknownMessage(type);
    const size_t recordBytes = length - kRecordHeaderSize;
    if (recordBytes < needed) {
        DebugPrint(0, "ProcessMessage(): message type %d holds %zu record bytes, needs %zu: ignored\n",
                   type, recordBytes, needed);
        return 0;
    }
    uint8_t* record = buffer + kRecordHeaderSize;
    RecordToHost(record, type, recordBytes);
    return Dispatch(type, Message{buffer, record, recordBytes, decodeClass, jpegWidth, jpegHeight});
}

int MessageDispatcher::Dispatch(uint16_t type, const Message& message) {
    const uint8_t* record = message.record;
    switch (type) {
        case ZRPPROTOCOL_MH_MESSBELL:
            Bell(message);
            break;
        case ZRPPROTOCOL_MH_MESSCOLT:
            DebugPrint(1, "Received Color Table -- %d colors\n",
                       static_cast<int>(LoadField<uint32_t>(record, ColourTableLayout::kCount)));
            (void)UpdateColourTable(m_frameBuffer, m_events, record, message.recordBytes);
            break;
        case ZRPPROTOCOL_MH_MESSCLPT:
            DebugPrint(1, "Receiving Clipboard Text from Corvane Server\n");
            ClipboardText(message);
            break;
        case ZRPPROTOCOL_MH_MESSCRSH:
            DebugPrint(1, "Received Cursor Shape request\n");
            CursorShape(message);
            break;
        case ZRPPROTOCOL_MH_MESSCRMV:
            DebugPrint(1, "Received Cursor Movements request\n");
            CursorMovement(message);
            break;
        case ZRPPROTOCOL_MH_MESSIMFB:
            DebugPrint(10, "Processing ZRPPROTOCOL_MH_MESSIMFB\n");
            ImageUpdate(message);
            break;
        case ZRPPROTOCOL_MH_MESSDRFB:
            DebugPrint(10, "Processing ZRPPROTOCOL_MH_MESSDRFB\n");
            DebugPrint(1, "Received Drawing Comds for FB request\n");
            break;
        case ZRPPROTOCOL_MH_MESSIMCD:
            DebugPrint(10, "Processing ZRPPROTOCOL_MH_MESSIMCD\n");
            DebugPrint(1, "Received Image Cache Data request\n");
            CountImageFrame();
            break;
        case ZRPPROTOCOL_MH_MESSIMCR:
            DebugPrint(1, "Received Image Cache Restore request\n");
            break;
        case ZRPPROTOCOL_MH_MESSSCTL:
            DebugPrint(5, "Received Session Control request\n");
            m_events.SessionControl(record);
            break;
        case ZRPPROTOCOL_MH_MESSSTAT:
            StatusInformation(message);
            break;
        case ZRPPROTOCOL_MH_MESSWIND:
            DebugPrint(5, "Received Windowing request\n");
            Windowing(message);
            break;
        case ZRPPROTOCOL_MH_MESSDRRQ:
            DrawingRequest(message);
            break;
        default:
            return UnknownMessage(type);
    }
    return 0;
}

int MessageDispatcher::UnknownMessage(int type) {
    DebugPrint(0, "ProcessMessage() Error: Unknown message %d!\n", type);
    // The read that brought the message succeeded, so no socket error is pending; errno may
    // hold a stale code from some unrelated call.
    ReportSocketErrorCode("ProcessMessage() Error: ", 0);
    return -1;
}

void MessageDispatcher::Bell(const Message& message) {
    DebugPrint(10, "Processing ZRPPROTOCOL_MH_MESSBELL\n");
    DebugPrint(1, "Received bell request\n");
    // A bell the reader made up for an undecodable frame has frequency 0: no sound.
    if (message.record[BellRecordLayout::kSilent] == 0) {
        m_events.Beep(message.record[BellRecordLayout::kFrequency], kBellMilliseconds);
    }
}

void MessageDispatcher::StatusInformation(const Message& message) {
    DebugPrint(2, "Received Status Information request\n");
    const uint8_t* record = message.record;
    if (LoadField<uint32_t>(record, StatusRecordLayout::kKind) == StatusRecordLayout::kServerTimeKind) {
        m_serverTime.store(static_cast<int32_t>(LoadField<uint32_t>(record, StatusRecordLayout::kServerTime)));
        m_serverSecondValue.store(
            static_cast<int32_t>(LoadField<uint32_t>(record, StatusRecordLayout::kSecondValue)));
    }
    DebugPrint(2, "Server Time %d\n", m_serverTime.load());
}

void MessageDispatcher::Windowing(const Message& message) {
    // Without seamless windows there is nothing to act on.
    if (!m_events.SeamlessMode()) return;
    m_windowText.fill(0);
    const uint32_t declared = LoadField<uint32_t>(message.record, WindowRecordLayout::kTextLength);
    const size_t inMessage = message.recordBytes - WindowRecordLayout::kText;
    const size_t length = std::min({size_t{declared}, inMessage, kWindowTextBufferSize - 1});
    if (length < declared) {
        DebugPrint(0, "Windowing request: text of %u bytes cut to %zu (%zu in the message)\n",
                   declared, length, inMessage);
    }
    std::memcpy(m_windowText.data(), message.record + WindowRecordLayout::kText, length);
    m_windowTextLength = length;
    WindowRequest(message);
}

void MessageDispatcher::ImageUpdate(const Message& message) {
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
            (void)DrawRawRectangles(m_frameBuffer, m_events, message.record, message.recordBytes, depth);
            break;
        case ImageDecoder::Planar:
            PlanarRectangles(message, depth, ImageUpdateLayout::kImageDataOffset);
            break;
        case ImageDecoder::Pixels16:
            Pixel16Rectangles(message, depth);
            break;
        case ImageDecoder::Jpeg:
            JpegRectangles(message, depth);
            break;
        case ImageDecoder::PaletteChunks:
            PaletteChunkRectangles(message, depth);
            break;
    }
    DebugPrint(58, "Got screen update request\n");
    m_events.RepaintSeamlessWindows();
    m_events.FrameDrawn();
}

void MessageDispatcher::DrawingRequest(const Message& message) {
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

void MessageDispatcher::CountImageFrame() {
    // The period restarts whatever the debug level; only the title waits for level 66.
    if (m_rate.Count(TickMilliseconds()) && DebugLevel() == kRateTitleDebugLevel) ShowRate();
}

void MessageDispatcher::CountDrawingFrame() {
    const bool periodEnded = m_rate.Count(TickMilliseconds());
    if (periodEnded || m_compform.load() != m_shownCompform) {
        ShowRate();
        m_shownCompform = m_compform.load();
    }
}

void MessageDispatcher::ShowRate() {
    m_events.SetTitle(RateTitle(m_events.BaseTitle(), m_rate.FramesPerSecond(),
                                CompformName(m_compform.load()), m_events.LocalMode()));
}

void MessageDispatcher::PaletteChunkRectangles(const Message& message, int depth) {
    (void)DrawPaletteChunkRectangles(m_frameBuffer, m_events, message.record, message.recordBytes, depth);
}

void MessageDispatcher::Pixel16Rectangles(const Message& message, int depth) {
    (void)DrawPixel16Rectangles(m_frameBuffer, m_events, message.record, message.recordBytes, depth);
}

void MessageDispatcher::PlanarRectangles(const Message& message, int depth, size_t imageDataOffset) {
    // The offset counts from the message start; the decoder counts from the record.
    if (imageDataOffset < kRecordHeaderSize) return;
    (void)DrawPlanarRectangles(m_frameBuffer, m_events, message.record, message.recordBytes, depth,
                               imageDataOffset - kRecordHeaderSize);
}

void MessageDispatcher::JpegRectangles(const Message& message, int depth) {
    // Without pixels from the reader (the image did not decode, or the update did not come as
    // a JPEG image) there is nothing to draw.
    (void)DrawJpegRectangles(m_frameBuffer, m_events, message.record, message.recordBytes, depth,
                             message.jpegWidth, message.jpegHeight);
}

bool MessageDispatcher::DrawingRequestFrame(const Message& message, int compform) {
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
            (void)m_video.DecodeFrame(frame, dataSize, m_frameBuffer);
            m_events.RepaintAll();
            return false;
        default:
            return false;
    }
}

void MessageDispatcher::ClipboardText(const Message& message) {
    DebugPrint(10, "Clipboard text (%zu bytes) is not taken yet\n", message.recordBytes);
}

void MessageDispatcher::CursorShape(const Message& message) {
    if (const std::optional<CursorImage> image = DecodeCursorShape(message.record, message.recordBytes)) {
        m_events.CursorShape(*image);
    }
}

void MessageDispatcher::CursorMovement(const Message& message) {
    DebugPrint(10, "Cursor movements (%zu bytes) are not followed yet\n", message.recordBytes);
}

void MessageDispatcher::WindowRequest(const Message& message) {
    DebugPrint(10, "Window requests (%zu bytes) are not acted on yet\n", message.recordBytes);
}

}  // namespace corvane
