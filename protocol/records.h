// The wire layouts of the zRP protocol: the 12-byte frame header, the 32-byte record header
// and the fixed record of each message type, and the conversions between wire order
// (big-endian) and host order.
//
// Every layout lives here and only here. Conversions work in place on byte buffers and are
// their own inverse; a field that lies beyond the bytes available is left alone, so a short
// record from the wire is never converted past its end. Plain functions: any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "protocol/message_types.h"

namespace corvane {

inline constexpr uint32_t kFrameMagic = 0xFEEDBEEF;
inline constexpr size_t kFrameHeaderSize = 12;
inline constexpr size_t kRecordHeaderSize = 32;
inline constexpr size_t kInitRecordSize = 424;
inline constexpr size_t kBellRecordSize = 6;
inline constexpr size_t kKeyRecordSize = 32;
inline constexpr size_t kPointerRecordSize = 32;
inline constexpr size_t kSessionControlRecordSize = 32;
// Record header and the image record in front of a JPEG-coded image.
inline constexpr size_t kJpegImagePrefixSize = 60;

// How a frame's body travels.
enum Envelope : uint16_t {
    kEnvelopePlain = 0,
    COMPSTD = 1,  // deflated
    COMPEXT = 2,  // deflated (or a JPEG image), first 64 bytes enciphered
    COMPAES = 3,  // plain, first 64 bytes enciphered
};

// Frame header field offsets.
struct FrameHeaderLayout {
    static constexpr size_t kMagic = 0;     // u32
    static constexpr size_t kSize = 4;      // u32, the whole frame, header included
    static constexpr size_t kEnvelope = 8;  // u16
    static constexpr size_t kExtra = 10;    // u16, 1 in the client's init message
};

// Record header field offsets.
struct RecordHeaderLayout {
    static constexpr size_t kType = 0;       // u16
    static constexpr size_t kSize = 4;       // u32
    static constexpr size_t kFormatTag = 8;  // u16: 257 compform and depth valid
    static constexpr size_t kCompform = 12;  // u32
    static constexpr size_t kDepth = 16;     // u32
    static constexpr size_t kStatus = 28;    // u32
};

// Init record (type 1001) field offsets.
struct InitRecordLayout {
    static constexpr size_t kStatus = 0;             // u32
    static constexpr size_t kWidth = 4;              // u16
    static constexpr size_t kHeight = 6;             // u16
    static constexpr size_t kBandwidthClass = 8;     // u16
    static constexpr size_t kDisconnectTimeout = 12; // u16
    static constexpr size_t kSessionId = 24;         // u32
    static constexpr size_t kBitsPerPixel = 29;      // u8
    static constexpr size_t kDepth = 30;             // u8
    static constexpr size_t kVisualClass = 38;       // u8
    static constexpr size_t kBackingStore = 39;      // u8
    static constexpr size_t kAddOptions = 40;        // 256 bytes, zero-terminated
    static constexpr size_t kAddOptionsSize = 256;
    static constexpr size_t kBanner = 296;           // 128 bytes, zero-terminated
    static constexpr size_t kBannerSize = 128;
};

// Image update record (type 1007).
struct ImageRecordLayout {
    static constexpr size_t kImageType = 0;  // u32; 2: a JPEG-coded image
    static constexpr uint32_t kJpegImage = 2;
};

// Key event (type 1011) and pointer event (type 1012) records: the words they share.
struct InputRecordLayout {
    static constexpr size_t kX = 0;          // u32, pointer
    static constexpr size_t kY = 4;          // u32, pointer
    static constexpr size_t kScreenX = 8;    // u32, pointer
    static constexpr size_t kScreenY = 12;   // u32, pointer
    static constexpr size_t kModifiers = 16; // u32: modifier and lock flags
    static constexpr size_t kKeyCode = 20;   // u32, key: the server's key code
    static constexpr size_t kButton = 20;    // u32, pointer
    static constexpr size_t kKind = 24;      // u16: 1 press, 2 release (0 motion)
};

// Conversions. Wire and host order differ only by a byte swap, so one routine serves both
// directions; the name says which way the caller means.
void FrameHeaderToHost(uint8_t* header);
void FrameHeaderToWire(uint8_t* header);
void RecordHeaderToHost(uint8_t* header);
void RecordHeaderToWire(uint8_t* header);
// `available` is the number of record bytes present behind `record`.
void RecordToHost(uint8_t* record, int32_t type, size_t available);
void RecordToWire(uint8_t* record, int32_t type, size_t available);

// Reading and writing host-order fields of a converted buffer.
template <typename T>
[[nodiscard]] inline T LoadField(const uint8_t* bytes, size_t offset) {
    T value;
    std::memcpy(&value, bytes + offset, sizeof value);
    return value;
}
template <typename T>
inline void StoreField(uint8_t* bytes, size_t offset, T value) {
    std::memcpy(bytes + offset, &value, sizeof value);
}

// Big-endian fields, as the wire and the information blocks hold them.
inline void PutBE32(uint8_t* at, uint32_t value) {
    at[0] = static_cast<uint8_t>(value >> 24);
    at[1] = static_cast<uint8_t>(value >> 16);
    at[2] = static_cast<uint8_t>(value >> 8);
    at[3] = static_cast<uint8_t>(value);
}
[[nodiscard]] inline uint32_t GetBE32(const uint8_t* at) {
    return (uint32_t{at[0]} << 24) | (uint32_t{at[1]} << 16) | (uint32_t{at[2]} << 8) | at[3];
}
inline void PutBE16(uint8_t* at, uint16_t value) {
    at[0] = static_cast<uint8_t>(value >> 8);
    at[1] = static_cast<uint8_t>(value);
}
[[nodiscard]] inline uint16_t GetBE16(const uint8_t* at) { return static_cast<uint16_t>((at[0] << 8) | at[1]); }

// A record header in host order with the type set and every other field zero, as the client
// sends them.
void MakeRecordHeader(uint8_t* header, int32_t type);

// A frame header in host order.
void MakeFrameHeader(uint8_t* header, uint32_t size, uint16_t envelope, uint16_t extra);

// A whole init message in wire order from a host-order init record: frame header (with
// `extra`: 1 from the client, 0 from the server), record header of type 1001, the record.
inline constexpr size_t kInitFrameSize = kFrameHeaderSize + kRecordHeaderSize + kInitRecordSize;
void MakeInitFrame(uint8_t* frame, const uint8_t* initRecord, uint16_t extra);

}  // namespace corvane
