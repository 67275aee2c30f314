#include "protocol/message_channel.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <new>

#include "config/error_box.h"
#include "config/log.h"
#include "crypto/payload_cipher.h"
#include "crypto/payload_key.h"

namespace corvane {

namespace {

int64_t TickMilliseconds() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

constexpr int kInitReplyTooBigStatus = 4;
constexpr int kInitReplyWrongTypeStatus = 5;

void FailedInitReply(uint8_t* record, uint32_t status, const char* banner) {
    std::memset(record, 0, kInitRecordSize);
    StoreField<uint32_t>(record, InitRecordLayout::kStatus, status);
    std::strncpy(reinterpret_cast<char*>(record + InitRecordLayout::kBanner), banner,
                 InitRecordLayout::kBannerSize - 1);
}

}  // namespace

MessageChannel::MessageChannel(StreamConnection& stream) : m_stream(stream) {
    m_inflaterReady = inflateInit(&m_inflater) == Z_OK;
}

MessageChannel::~MessageChannel() {
    if (m_inflaterReady) inflateEnd(&m_inflater);
}

void MessageChannel::CloseSocket() {
    const int socket = TakeSocket();
    if (socket >= 0) (void)m_stream.Close(socket);
}

bool MessageChannel::AllocateBuffers(int width, int height, int depth) {
    size_t size = MessageBufferSize(width, height, depth);
    if (size <= m_bufferSize) return true;
    LargeBuffer message = LargeBuffer::Allocate(size);
    LargeBuffer compressed = LargeBuffer::Allocate(size);
    if (!message || !compressed || !m_inflaterReady) {
        DebugPrint(0, "Unable to allocate messagebuf %d bytes \n", static_cast<int>(size));
        return false;
    }
    m_message = std::move(message);
    m_compressed = std::move(compressed);
    m_bufferSize = size;
    DebugPrint(10, "Allocated mbuff,comprbuf -- %d bytes each\n", static_cast<int>(size));
    return true;
}

int MessageChannel::ReadBody(uint8_t* into, size_t size) {
    int n = m_stream.zRPshRead(Socket(), into, static_cast<int>(size));
    if (n != static_cast<int>(size)) {
        DebugPrint(0, "ZRPGEN:  Body read of %zu bytes failed: %d\n", size, n);
        return -1;
    }
    return n;
}

void MessageChannel::Decipher(uint8_t* body, size_t size) const {
    (void)DecipherBlocks(body, std::min(size, kEncipheredPrefix), kEnvelopeBlockSize,
                         BuildPayloadKey(m_serverCode));
}

bool MessageChannel::Inflate(const uint8_t* in, size_t inSize, size_t limit, size_t& outSize,
                             int& status) {
    // One inflater for the session, reset per frame: inflating allocates nothing.
    if (inflateReset(&m_inflater) != Z_OK) {
        status = Z_STREAM_ERROR;
        return false;
    }
    m_inflater.next_in = const_cast<Bytef*>(in);
    m_inflater.avail_in = static_cast<uInt>(inSize);
    m_inflater.next_out = m_message.data();
    m_inflater.avail_out = static_cast<uInt>(limit);
    int result = inflate(&m_inflater, Z_FINISH);
    outSize = limit - m_inflater.avail_out;
    if (result == Z_STREAM_END) {
        status = Z_OK;
        return true;
    }
    // As uncompress reports them: a full output buffer is a buffer error, a stream that ends
    // early (room left, input gone) or wants a dictionary is a data error.
    if (result == Z_NEED_DICT || ((result == Z_OK || result == Z_BUF_ERROR) && m_inflater.avail_out > 0)) {
        status = Z_DATA_ERROR;
    } else {
        status = result == Z_OK ? Z_BUF_ERROR : result;
    }
    return false;
}

size_t MessageChannel::MakeBell() {
    // Written in wire order: the record header is converted with every other message.
    MakeRecordHeader(m_message.data(), ZRPPROTOCOL_MH_MESSBELL);
    RecordHeaderToWire(m_message.data());
    std::memset(m_message.data() + kRecordHeaderSize, 0, kBellRecordSize);
    return kRecordHeaderSize + kBellRecordSize;
}

void MessageChannel::DescribeWhole(uint8_t* message, size_t length, MessageFrame& frame) {
    if (length >= kRecordHeaderSize) {
        Describe(message, length, frame);
        return;
    }
    DebugPrint(0, "ZRPGEN:  message of %zu bytes has no record header: ignored\n", length);
    Describe(m_message.data(), MakeBell(), frame);
}

void MessageChannel::Describe(uint8_t* message, size_t length, MessageFrame& frame) {
    RecordHeaderToHost(message);
    frame.type = LoadField<uint16_t>(message, RecordHeaderLayout::kType);
    frame.header = message;
    frame.record = message + kRecordHeaderSize;
    frame.recordBytes = length - kRecordHeaderSize;
    frame.jpegImage = false;
}

int MessageChannel::ReadMessage(int selector, MessageFrame& frame) {
    frame = MessageFrame{};
    DebugPrint(15, "DEBUG:  Reading %d bytes\n", static_cast<int>(kFrameHeaderSize));
    if (m_bufferSize < kRecordHeaderSize + kBellRecordSize) {
        DebugPrint(0, "ZRPGEN:  No message buffers\n");
        return -1;
    }

    uint8_t header[kFrameHeaderSize];
    int n = m_stream.zRPshRead(Socket(), header, kFrameHeaderSize);
    if (n < 1) {
        if (n == -1) {
            DebugPrint(0, "ZRPGEN:  Socket error on read.  WSAGetLastError() error: %d\n",
                       WinsockCodeFromErrno(errno));
        }
        DebugPrint(0, "ZRPGEN:  n = %d Returning -1\n", n);
        return -1;
    }
    FrameHeaderToHost(header);
    uint32_t size = LoadField<uint32_t>(header, FrameHeaderLayout::kSize);
    uint16_t envelope = LoadField<uint16_t>(header, FrameHeaderLayout::kEnvelope);
    DebugPrint(15, "DEBUG:  Message size: %d (0x%x) bytes\n", static_cast<int>(size), size);
    if (size > kMaxFrameSize) {
        DebugPrint(0, "ZRPGEN:  Message Too Big\n");
        return -1;
    }
    if (size <= kFrameHeaderSize) {
        DebugPrint(0, "ZRPGEN:  Message Too Small\n");
        return -1;
    }
    const size_t body = size - kFrameHeaderSize;
    DebugPrint(15, "DEBUG:  Reading %d bytes  (type: %d  alg: %d)\n", static_cast<int>(body),
               envelope, selector);
    // Both buffers have the same size; a body larger than them is refused unread.
    if (body > m_bufferSize) {
        DebugPrint(0, "ZRPGEN:  Message of %zu bytes does not fit the %zu-byte buffers\n", body,
                   m_bufferSize);
        return -1;
    }

    int64_t started = TickMilliseconds();
    int64_t finished = started;
    int status = Z_OK;
    switch (envelope) {
        case kEnvelopePlain:
        case COMPAES:
            if (ReadBody(m_message.data(), body) < 0) return -1;
            finished = TickMilliseconds();
            if (envelope == COMPAES) {
                DebugPrint(15, "(COMPAES) Num Bytes: %d ... \n", static_cast<int>(body));
                Decipher(m_message.data(), body);
            }
            DescribeWhole(m_message.data(), body, frame);
            break;
        case COMPSTD: {
            if (ReadBody(m_compressed.data(), body) < 0) return -1;
            finished = TickMilliseconds();
            DebugPrint(15, "(COMPSTD) Bytes in: %d ... ", static_cast<int>(body));
            size_t length = 0;
            if (!Inflate(m_compressed.data(), body, m_bufferSize, length, status)) {
                DebugPrint(0, "Error during uncompress(): %d\n", status);
                return -1;
            }
            DebugPrint(15, "bytes out: %d.\n", static_cast<int>(length));
            DescribeWhole(m_message.data(), length, frame);
            break;
        }
        case COMPEXT:
            if (selector == kDecoderRawCompext) {
                if (ReadBody(m_message.data(), body) < 0) return -1;
                finished = TickMilliseconds();
                Decipher(m_message.data(), body);
                DescribeWhole(m_message.data(), body, frame);
                break;
            }
            if (ReadBody(m_compressed.data(), body) < 0) return -1;
            finished = TickMilliseconds();
            DebugPrint(15, "(COMPEXT alg %d) Bytes in: %d ... \n", selector, static_cast<int>(body));
            Decipher(m_compressed.data(), body);
            DecodeCompext(body, selector, frame);
            break;
        default:
            // The body is read so that the stream stays in step; what it holds is unknown.
            if (ReadBody(m_compressed.data(), body) < 0) return -1;
            finished = TickMilliseconds();
            DebugPrint(0, "ZRPGEN:  Unknown envelope %d ... skipping frame...\n", envelope);
            Describe(m_message.data(), MakeBell(), frame);
            break;
    }

    frame.decodeClass = frame.jpegImage ? kDecoderJpeg : selector;
    DebugPrint(15, "DEBUG:  AF: Message type: %d\n", frame.type);
    if (static_cast<int64_t>(body) > RateStatistics::kSmallestTimedBody) {
        m_rates.AddSample(static_cast<int64_t>(body), finished - started);
    }
    return 0;
}

void MessageChannel::DecodeCompext(size_t body, int selector, MessageFrame& frame) {
    // The record header, and for an image update its image type, tell how the rest is coded.
    uint8_t peek[kRecordHeaderSize + 8] = {};
    std::memcpy(peek, m_compressed.data(), std::min(body, sizeof peek));
    RecordHeaderToHost(peek);
    uint16_t type = LoadField<uint16_t>(peek, RecordHeaderLayout::kType);
    DebugPrint(15, "Got msg type: %d\n", type);
    if (type == ZRPPROTOCOL_MH_MESSIMFB && body >= kRecordHeaderSize + 8) {
        RecordToHost(peek + kRecordHeaderSize, type, 8);
        uint32_t imageType = LoadField<uint32_t>(peek + kRecordHeaderSize, ImageRecordLayout::kImageType);
        DebugPrint(15, "  imfbtype: %d\n", static_cast<int>(imageType));
        if (imageType == ImageRecordLayout::kJpegImage) selector = kDecoderJpeg;
    }

    if (selector == kDecoderJpeg && type == ZRPPROTOCOL_MH_MESSIMFB) {
        if (body < kJpegImagePrefixSize) {
            DebugPrint(0, "ZRPGEN:  JPEG image frame of %zu bytes has no image ... skipping frame...\n", body);
            Describe(m_message.data(), MakeBell(), frame);
            return;
        }
        // The image stays where it came; the display code decodes it.
        Describe(m_compressed.data(), body, frame);
        frame.jpegImage = true;
        return;
    }

    size_t length = 0;
    int status = Z_OK;
    if (!Inflate(m_compressed.data(), body, m_bufferSize, length, status) || length < kRecordHeaderSize) {
        DebugPrint(0, "Error during uncompress(): %d ... skipping frame...\n", status);
        Describe(m_message.data(), MakeBell(), frame);
        return;
    }
    DebugPrint(15, "bytes out: %d.\n", static_cast<int>(length));
    Describe(m_message.data(), length, frame);
}

int MessageChannel::SendInitMessage(const uint8_t* initRecord) {
    uint8_t frame[kInitFrameSize];
    MakeInitFrame(frame, initRecord, 1);
    return m_stream.zRPshWrite(Socket(), frame, sizeof frame);
}

int MessageChannel::ReadInitReply(uint8_t* initRecord) {
    DebugPrint(15, "DEBUG:  Reading %d bytes\n", static_cast<int>(kFrameHeaderSize));
    uint8_t header[kFrameHeaderSize];
    if (m_stream.zRPshRead(Socket(), header, kFrameHeaderSize) != static_cast<int>(kFrameHeaderSize)) {
        DebugPrint(0, "ZRPGEN:  Init reply header read failed\n");
        return -1;
    }
    FrameHeaderToHost(header);
    uint32_t size = LoadField<uint32_t>(header, FrameHeaderLayout::kSize);
    if (size >= kInitReplyTooBig) {
        DebugPrint(0, "ZRPGEN:  Error, Message Too Big\n");
        FailedInitReply(initRecord, kInitReplyTooBigStatus, "Init message too big!");
        return 0;
    }
    // Missing record bytes of a short reply read as zero.
    uint8_t reply[kInitReplyBufferSize] = {};
    size_t body = size > kFrameHeaderSize ? size - kFrameHeaderSize : 0;
    if (body > 0 && m_stream.zRPshRead(Socket(), reply, static_cast<int>(body)) != static_cast<int>(body)) {
        DebugPrint(0, "ZRPGEN:  Init reply body read failed\n");
        return -1;
    }
    RecordHeaderToHost(reply);
    uint16_t type = LoadField<uint16_t>(reply, RecordHeaderLayout::kType);
    DebugPrint(15, "DEBUG:  Message type: %d\n", type);
    if (body < kRecordHeaderSize || type != ZRPPROTOCOL_MH_MESSINIT) {
        DebugPrint(1, "Error:  Wrong message type: %d\n", body < kRecordHeaderSize ? 0 : type);
        FailedInitReply(initRecord, kInitReplyWrongTypeStatus, "Wrong message type!");
        return 0;
    }
    std::memcpy(initRecord, reply + kRecordHeaderSize, kInitRecordSize);
    RecordToHost(initRecord, ZRPPROTOCOL_MH_MESSINIT, kInitRecordSize);
    return 0;
}

int MessageChannel::SendBodyLocked(uint16_t envelope, BodyCoding coding, int32_t type,
                                   const uint8_t* record, size_t recordSize,
                                   const uint8_t* payload, size_t payloadSize, int level,
                                   bool encipherRecord) {
    m_sendBody.resize(kRecordHeaderSize + recordSize + payloadSize);
    uint8_t* body = m_sendBody.data();
    MakeRecordHeader(body, type);
    RecordHeaderToWire(body);
    if (recordSize > 0) std::memcpy(body + kRecordHeaderSize, record, recordSize);
    RecordToWire(body + kRecordHeaderSize, type, recordSize);
    if (encipherRecord) {
        (void)EncipherBlocks(body + kRecordHeaderSize, recordSize, kKeyRecordSize, BuildPayloadKey(m_serverCode));
    }
    if (payloadSize > 0) std::memcpy(body + kRecordHeaderSize + recordSize, payload, payloadSize);
    if (!m_sendFrame.Build(envelope, body, m_sendBody.size(), m_serverCode, coding, 0, level)) {
        return -1;
    }
    // One write for the whole frame: no other message can come between its pieces.
    return m_stream.zRPshWrite(Socket(), m_sendFrame.data(), static_cast<int>(m_sendFrame.size()));
}

int MessageChannel::SendMessage(int32_t type, const uint8_t* record, size_t recordSize,
                                const uint8_t* payload, size_t payloadSize) {
    std::lock_guard lock(m_sendLock);
    return SendBodyLocked(kEnvelopePlain, BodyCoding::AsIs, type, record, recordSize, payload,
                          payloadSize, 0);
}

int MessageChannel::SendKeyRecord(const uint8_t* record) {
    std::lock_guard lock(m_sendLock);
    return SendBodyLocked(kEnvelopePlain, BodyCoding::AsIs, ZRPPROTOCOL_MH_MESSKEYE, record, kKeyRecordSize, nullptr,
                          0, 0, true);
}

int MessageChannel::SendCompressedMessage(int32_t type, const uint8_t* record, size_t recordSize,
                                          const uint8_t* payload, size_t payloadSize, int level) {
    std::lock_guard lock(m_sendLock);
    return SendBodyLocked(COMPEXT, BodyCoding::Deflate, type, record, recordSize, payload,
                          payloadSize, level);
}

}  // namespace corvane
