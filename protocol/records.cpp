#include "protocol/records.h"

#include <array>
#include <span>

#include <arpa/inet.h>

namespace corvane {

namespace {

// One field to swap: its offset and its width in bytes (2 or 4).
struct Field {
    uint16_t offset;
    uint8_t width;
};

constexpr Field U16(uint16_t offset) { return {offset, 2}; }
constexpr Field U32(uint16_t offset) { return {offset, 4}; }

constexpr Field kFrameHeaderFields[] = {U32(0), U32(4), U16(8), U16(10)};

constexpr Field kRecordHeaderFields[] = {U16(0),  U16(2),  U32(4),  U16(8),  U16(10),
                                         U32(12), U32(16), U32(20), U32(24), U32(28)};

constexpr Field kInitFields[] = {U32(0),  U16(4),  U16(6),  U16(8),  U16(10),
                                 U16(12), U16(14), U32(16), U32(20), U32(24)};
// Bytes 0 and 1 of the bell record are single bytes.
constexpr Field kBellFields[] = {U16(2), U16(4)};
constexpr Field kTwoWords[] = {U32(0), U32(4)};
constexpr Field kThreeWords[] = {U32(0), U32(4), U32(8)};
constexpr Field kFourWords[] = {U32(0), U32(4), U32(8), U32(12)};
constexpr Field kFiveWords[] = {U32(0), U32(4), U32(8), U32(12), U32(16)};
constexpr Field kSixWords[] = {U32(0), U32(4), U32(8), U32(12), U32(16), U32(20)};
constexpr Field kInputFields[] = {U32(0),  U32(4),  U32(8), U32(12),
                                  U32(16), U32(20), U16(24), U16(26)};
// The word at 12 of a session-control record travels as it is, in both directions.
constexpr Field kSessionControlFields[] = {U32(0), U32(4), U32(8), U32(16)};
constexpr Field kWindowFields[] = {U32(0),  U32(4),  U32(8),  U32(12),
                                   U32(16), U32(20), U32(24), U32(28)};

struct Layout {
    int32_t type;
    std::span<const Field> fields;
};

// The catalogue of record layouts. Types not listed (1016 among them) are not converted.
constexpr Layout kLayouts[] = {
    {ZRPPROTOCOL_MH_MESSINIT, kInitFields},
    {ZRPPROTOCOL_MH_MESSBELL, kBellFields},
    {ZRPPROTOCOL_MH_MESSCOLT, kThreeWords},
    {ZRPPROTOCOL_MH_MESSCLPT, kTwoWords},
    {ZRPPROTOCOL_MH_MESSCRSH, kSixWords},
    {ZRPPROTOCOL_MH_MESSCRMV, kFourWords},
    {ZRPPROTOCOL_MH_MESSIMFB, kTwoWords},
    {ZRPPROTOCOL_MH_MESSDRFB, kTwoWords},
    {ZRPPROTOCOL_MH_MESSIMCD, kSixWords},
    {ZRPPROTOCOL_MH_MESSIMCR, kSixWords},
    {ZRPPROTOCOL_MH_MESSKEYE, kInputFields},
    {ZRPPROTOCOL_MH_MESSMSEE, kInputFields},
    {1013, kSixWords},
    {ZRPPROTOCOL_MH_MESSSCTL, kSessionControlFields},
    {ZRPPROTOCOL_MH_MESSSTAT, kFourWords},
    {ZRPPROTOCOL_MH_MESSWIND, kWindowFields},
    {ZRPPROTOCOL_MH_MESSDRRQ, kFiveWords},
};

void Swap(uint8_t* bytes, std::span<const Field> fields, size_t available) {
    for (const Field& f : fields) {
        if (f.offset + f.width > available) continue;
        if (f.width == 2) {
            StoreField<uint16_t>(bytes, f.offset, htons(LoadField<uint16_t>(bytes, f.offset)));
        } else {
            StoreField<uint32_t>(bytes, f.offset, htonl(LoadField<uint32_t>(bytes, f.offset)));
        }
    }
}

void SwapRecord(uint8_t* record, int32_t type, size_t available) {
    for (const Layout& layout : kLayouts) {
        if (layout.type == type) {
            Swap(record, layout.fields, available);
            return;
        }
    }
}

}  // namespace

void FrameHeaderToHost(uint8_t* header) { Swap(header, kFrameHeaderFields, kFrameHeaderSize); }
void FrameHeaderToWire(uint8_t* header) { Swap(header, kFrameHeaderFields, kFrameHeaderSize); }
void RecordHeaderToHost(uint8_t* header) { Swap(header, kRecordHeaderFields, kRecordHeaderSize); }
void RecordHeaderToWire(uint8_t* header) { Swap(header, kRecordHeaderFields, kRecordHeaderSize); }
void RecordToHost(uint8_t* record, int32_t type, size_t available) {
    SwapRecord(record, type, available);
}
void RecordToWire(uint8_t* record, int32_t type, size_t available) {
    SwapRecord(record, type, available);
}

void MakeRecordHeader(uint8_t* header, int32_t type) {
    std::memset(header, 0, kRecordHeaderSize);
    StoreField<uint16_t>(header, RecordHeaderLayout::kType, static_cast<uint16_t>(type));
}

void MakeFrameHeader(uint8_t* header, uint32_t size, uint16_t envelope, uint16_t extra) {
    StoreField<uint32_t>(header, FrameHeaderLayout::kMagic, kFrameMagic);
    StoreField<uint32_t>(header, FrameHeaderLayout::kSize, size);
    StoreField<uint16_t>(header, FrameHeaderLayout::kEnvelope, envelope);
    StoreField<uint16_t>(header, FrameHeaderLayout::kExtra, extra);
}

void MakeInitFrame(uint8_t* frame, const uint8_t* initRecord, uint16_t extra) {
    MakeFrameHeader(frame, kInitFrameSize, kEnvelopePlain, extra);
    FrameHeaderToWire(frame);
    uint8_t* header = frame + kFrameHeaderSize;
    MakeRecordHeader(header, ZRPPROTOCOL_MH_MESSINIT);
    RecordHeaderToWire(header);
    std::memcpy(header + kRecordHeaderSize, initRecord, kInitRecordSize);
    RecordToWire(header + kRecordHeaderSize, ZRPPROTOCOL_MH_MESSINIT, kInitRecordSize);
}

}  // namespace corvane
