// Framed messages over the stream connection: reading a frame and undoing its envelope,
// the init exchange of the login, and the client's outgoing messages.
//
// Threads: one thread reads (the login thread, then the receive thread). Sending happens
// on the login thread during the login and on the session's sender thread afterwards, each
// whole message under the channel's send lock, which is never held across a read. The buffers are allocated once per session (AllocateBuffers) and reused by every
// read; reading a frame allocates nothing.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include <zlib.h>

#include "platform/large_buffer.h"
#include "protocol/frame_builder.h"
#include "protocol/framing_limits.h"
#include "protocol/message_frame.h"
#include "protocol/rate_statistics.h"
#include "protocol/records.h"
#include "protocol/stream_connection.h"

namespace corvane {

// What a read expects of a COMPEXT body, from the current compression format: deflated
// (a JPEG image update is recognised by its image type whatever this says), a JPEG image, or
// left as it came (the planar formats).
enum DecoderSelector : int {
    kDecoderDeflate = 0,
    kDecoderJpeg = 1,
    kDecoderRawCompext = 2,
};

class MessageChannel {
public:
    explicit MessageChannel(StreamConnection& stream);
    ~MessageChannel();
    MessageChannel(const MessageChannel&) = delete;
    MessageChannel& operator=(const MessageChannel&) = delete;

    void SetSocket(int socket) { m_socket.store(socket); }
    [[nodiscard]] int Socket() const { return m_socket.load(); }
    // Forgets the socket and hands it to the caller, who alone then closes it: when the
    // receive thread and the shut-down end the session at the same moment, only one of them
    // gets it, so a descriptor is never closed twice. -1 when none was set.
    [[nodiscard]] int TakeSocket() { return m_socket.exchange(-1); }
    // Takes the socket and closes it (shut down, then closed once no call is inside it);
    // nothing when another caller took it first. Any thread.
    void CloseSocket();

    // The connection's server code (clear text); it modifies the payload key. Set before
    // the connection is used.
    void SetServerCode(std::string serverCode) { m_serverCode = std::move(serverCode); }

    // The message and compressed-data buffers for the session geometry. False when they
    // cannot be allocated. Called once after login; a reconnection keeps them.
    [[nodiscard]] bool AllocateBuffers(int width, int height, int depth);
    [[nodiscard]] size_t BufferSize() const { return m_bufferSize; }

    // Reads one frame and undoes its envelope: `frame` then describes the message, with its
    // record header and record in host order (see MessageFrame). 0 on success; -1 when the
    // stream failed or the frame cannot be taken (the caller treats it as a lost connection).
    // A frame whose body cannot be decoded but whose bytes were read becomes a silent bell
    // (a zero record), and the session goes on.
    [[nodiscard]] int ReadMessage(int selector, MessageFrame& frame);

    // The login's init message: frame, record header and the 424-byte init record (host
    // order; the caller's copy is not changed). Result of the write.
    [[nodiscard]] int SendInitMessage(const uint8_t* initRecord);

    // Reads the server's init reply into `initRecord` (424 bytes, host order). A reply too
    // big for its buffer comes back with status 4 and the banner "Init message too big!",
    // one of another type (or too short to hold a record header) with status 5 and
    // "Wrong message type!". 0 when a reply was read; -1 when the stream failed.
    [[nodiscard]] int ReadInitReply(uint8_t* initRecord);

    // A plain message: frame header, record header of `type`, the record and the payload,
    // each converted here to wire order (`record` is in host order and is not changed).
    // Result of the write: its byte count, or 0 or negative on failure.
    [[nodiscard]] int SendMessage(int32_t type, const uint8_t* record, size_t recordSize,
                                  const uint8_t* payload = nullptr, size_t payloadSize = 0);

    // A key record (32 bytes, host order; not changed): converted to wire order, then
    // enciphered as one 32-byte block, and sent as a plain message. Result as SendMessage.
    [[nodiscard]] int SendKeyRecord(const uint8_t* record);

    // The same body deflated at `level` and sent with the COMPEXT envelope. Negative, with
    // nothing sent, when compression fails.
    [[nodiscard]] int SendCompressedMessage(int32_t type, const uint8_t* record, size_t recordSize,
                                            const uint8_t* payload, size_t payloadSize,
                                            int level);

    [[nodiscard]] RateStatistics& Rates() { return m_rates; }

private:
    [[nodiscard]] int ReadBody(uint8_t* into, size_t size);
    [[nodiscard]] bool Inflate(const uint8_t* in, size_t inSize, size_t limit, size_t& outSize,
                               int& status);
    void Decipher(uint8_t* body, size_t size) const;
    size_t MakeBell();
    // Undoes a deciphered COMPEXT body in the compressed-data buffer: a JPEG image update
    // stays where it is, anything else is inflated into the message buffer (or becomes a bell
    // when it cannot be).
    void DecodeCompext(size_t body, int selector, MessageFrame& frame);
    // Points `frame` at a message of `length` bytes at `message` and converts its record.
    static void Describe(uint8_t* message, size_t length, MessageFrame& frame);
    // The same for a message that may be too short for a record header: it becomes a bell.
    void DescribeWhole(uint8_t* message, size_t length, MessageFrame& frame);
    [[nodiscard]] int SendBodyLocked(uint16_t envelope, BodyCoding coding, int32_t type,
                                     const uint8_t* record, size_t recordSize,
                                     const uint8_t* payload, size_t payloadSize, int level,
                                     bool encipherRecord = false);

    StreamConnection& m_stream;
    std::atomic<int> m_socket{-1};
    std::string m_serverCode;

    LargeBuffer m_message;
    LargeBuffer m_compressed;
    size_t m_bufferSize = 0;
    z_stream m_inflater{};
    bool m_inflaterReady = false;

    std::mutex m_sendLock;            // held around every whole outgoing message
    std::vector<uint8_t> m_sendBody;  // under m_sendLock
    FrameBuilder m_sendFrame;         // under m_sendLock

    RateStatistics m_rates;
};

}  // namespace corvane
