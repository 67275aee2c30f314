// The wire layouts only the display code reads: the fixed record size each server message
// must at least have, the image-update record with its rectangle headers, and the
// colour-table record.
//
// Offsets are from the start of the record (the byte after the 32-byte record header)
// unless said otherwise. Constants only: any thread.
#pragma once

#include <cstddef>
#include <cstdint>

#include "protocol/message_types.h"
#include "protocol/records.h"

namespace corvane {

// The smallest fixed record of each type the display acts on; 0 for a type it does not know.
// A message shorter than its header plus this is dropped before anything reads the record.
[[nodiscard]] constexpr size_t MinimumRecordSize(int32_t type) {
    switch (type) {
        case ZRPPROTOCOL_MH_MESSBELL: return kBellRecordSize;
        case ZRPPROTOCOL_MH_MESSCOLT: return 12;
        case ZRPPROTOCOL_MH_MESSCRSH: return 24;
        case ZRPPROTOCOL_MH_MESSIMFB: return 8;
        case ZRPPROTOCOL_MH_MESSDRFB: return 8;
        case ZRPPROTOCOL_MH_MESSIMCD: return 24;
        case ZRPPROTOCOL_MH_MESSIMCR: return 24;
        case ZRPPROTOCOL_MH_MESSSTAT: return 16;
        case ZRPPROTOCOL_MH_MESSDRRQ: return 20;
        default: return 0;
    }
}

// The format tag of a record header whose compform and depth fields are valid.
inline constexpr uint16_t kFormatTagValid = 257;

// Image update record (type 1007); the two words are in host order once the record is
// converted, the rectangles behind them stay in wire order.
struct ImageUpdateLayout {
    static constexpr size_t kImageType = 0;       // u32
    static constexpr size_t kRectangleCount = 4;  // u32
    static constexpr size_t kFirstRectangle = 8;
    // Where the first rectangle's data lies in the message (record header included); a
    // JPEG image update's JPEG stream starts here.
    static constexpr size_t kImageDataOffset = kRecordHeaderSize + kFirstRectangle + 20;
};

// Each rectangle of an image update: five big-endian words, then `data size` bytes.
struct RectangleHeaderLayout {
    static constexpr size_t kDataSize = 0;  // u32
    static constexpr size_t kX = 4;         // u32
    static constexpr size_t kY = 8;         // u32
    static constexpr size_t kWidth = 12;    // u32
    static constexpr size_t kHeight = 16;   // u32
    static constexpr size_t kSize = 20;
};

// Colour table record (type 1003); the three words are in host order once converted.
struct ColourTableLayout {
    static constexpr size_t kCount = 0;      // u32
    static constexpr size_t kFirstIndex = 4; // u32
    static constexpr size_t kEntrySize = 8;  // u32; only 3 (red, green, blue) is known
    static constexpr size_t kEntries = 12;
    static constexpr uint32_t kRgbEntrySize = 3;
};

// Status information record (type 1015).
struct StatusRecordLayout {
    static constexpr size_t kKind = 0;        // u32
    static constexpr size_t kServerTime = 4;  // u32
    static constexpr size_t kSecondValue = 8; // u32
    static constexpr uint32_t kServerTimeKind = 3001;
};

// Drawing request record (type 2001): the frame follows the record.
struct DrawingRequestLayout {
    static constexpr size_t kDataSize = 0;  // u32
    static constexpr size_t kX = 4;         // u32
    static constexpr size_t kY = 8;         // u32
    static constexpr size_t kWidth = 12;    // u32
    static constexpr size_t kHeight = 16;   // u32
    static constexpr size_t kData = 20;
};

// Bell record (type 1002): two single bytes.
struct BellRecordLayout {
    static constexpr size_t kSilent = 0;     // u8: 0 sounds the bell
    static constexpr size_t kFrequency = 1;  // u8: Hz
};

}  // namespace corvane
