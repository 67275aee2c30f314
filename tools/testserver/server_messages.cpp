#include "tools/testserver/server_messages.h"

#include <algorithm>
#include <cstring>

#include "display/cursor_shape.h"
#include "protocol/records.h"
#include "seamless/window_requests.h"
#include "tools/testserver/jpeg_image_updates.h"
#include "tools/testserver/rectangle_encoders.h"

namespace corvane::testserver {

namespace {

constexpr uint8_t kBellFrequency = 220;  // Hz, in the bell record's second byte
// A cursor type that is neither monochrome (1), colour (2) nor a standard cursor (0x7F00 up):
// source and mask bitmaps.
constexpr uint32_t kSourceMaskCursor = 0;

// Image update record: image type (0: pixels), rectangle count.
constexpr size_t kImageTypeOffset = 0;
constexpr size_t kRectangleCountOffset = 4;
// Colour-table record: colour count, first index, entry size.
constexpr size_t kColourCountOffset = 0;
constexpr size_t kFirstIndexOffset = 4;
constexpr size_t kEntrySizeOffset = 8;
// Session-control record: code and two arguments.
constexpr size_t kCodeOffset = 0;
constexpr size_t kArgumentOffset = 4;
constexpr size_t kSecondArgumentOffset = 8;

// A body of record header and record of `type`, both converted to wire order, with room
// for `payloadSize` more bytes behind them.
std::vector<uint8_t> Body(int32_t type, const uint8_t* record, size_t recordSize, size_t payloadSize,
                          uint16_t formatTag = 0, uint32_t compform = 0, uint32_t depth = 0) {
    std::vector<uint8_t> body(kRecordHeaderSize + recordSize + payloadSize);
    uint8_t* header = body.data();
    MakeRecordHeader(header, type);
    StoreField<uint32_t>(header, RecordHeaderLayout::kSize, static_cast<uint32_t>(body.size()));
    StoreField<uint16_t>(header, RecordHeaderLayout::kFormatTag, formatTag);
    StoreField<uint32_t>(header, RecordHeaderLayout::kCompform, compform);
    StoreField<uint32_t>(header, RecordHeaderLayout::kDepth, depth);
    RecordHeaderToWire(header);
    std::memcpy(body.data() + kRecordHeaderSize, record, recordSize);
    RecordToWire(body.data() + kRecordHeaderSize, type, recordSize);
    return body;
}

}  // namespace

uint32_t CompformForDesktop(const PixelSource& desktop, uint32_t compform) {
    const bool only24 = EncodingOfCompform(compform) == RectangleEncoding::Planar || IsJpegCompform(compform);
    return (desktop.Indexed() || desktop.SixteenBit()) && only24 ? kRawCompform : compform;
}

std::vector<uint8_t> ImageUpdateBody(const PixelSource& desktop, int frame, const std::vector<PixelRect>& rects,
                                     uint32_t compform) {
    compform = CompformForDesktop(desktop, compform);
    const RectangleEncoding encoding = EncodingOfCompform(compform);
    std::vector<PixelRect> sent = rects;
    if (encoding == RectangleEncoding::Planar && rects.size() > 1) {
        sent.assign(1, BoundingBox(rects));
    }

    std::vector<uint8_t> payload;
    for (const PixelRect& r : sent) {
        const size_t header = payload.size();
        payload.resize(header + kRectangleHeaderSize);
        AppendRectangleData(desktop, frame, r, encoding, payload);
        uint8_t* h = payload.data() + header;
        PutBE32(h, static_cast<uint32_t>(payload.size() - header - kRectangleHeaderSize));
        PutBE32(h + 4, static_cast<uint32_t>(r.x));
        PutBE32(h + 8, static_cast<uint32_t>(r.y));
        PutBE32(h + 12, static_cast<uint32_t>(r.width));
        PutBE32(h + 16, static_cast<uint32_t>(r.height));
    }

    uint8_t record[kImageRecordSize] = {};
    StoreField<uint32_t>(record, kImageTypeOffset, 0);
    StoreField<uint32_t>(record, kRectangleCountOffset, static_cast<uint32_t>(sent.size()));
    std::vector<uint8_t> body = Body(ZRPPROTOCOL_MH_MESSIMFB, record, sizeof record, payload.size(), kFormatTagValid,
                                     compform, desktop.Indexed() ? 8 : desktop.SixteenBit() ? 16 : 24);
    std::memcpy(body.data() + kRecordHeaderSize + kImageRecordSize, payload.data(), payload.size());
    return body;
}

std::vector<uint8_t> ColourTableBody() {
    const auto& table = DesktopColourTable();
    uint8_t record[kColourTableRecordSize] = {};
    StoreField<uint32_t>(record, kColourCountOffset, static_cast<uint32_t>(table.size()));
    StoreField<uint32_t>(record, kFirstIndexOffset, 0);
    StoreField<uint32_t>(record, kEntrySizeOffset, kColourEntrySize);
    std::vector<uint8_t> body =
        Body(ZRPPROTOCOL_MH_MESSCOLT, record, sizeof record, table.size() * kColourEntrySize);
    uint8_t* out = body.data() + kRecordHeaderSize + kColourTableRecordSize;
    for (const Rgb& colour : table) {
        *out++ = colour.red;
        *out++ = colour.green;
        *out++ = colour.blue;
    }
    return body;
}

std::vector<uint8_t> SessionControlBody(uint32_t code, uint32_t argument, uint32_t secondArgument) {
    uint8_t record[kSessionControlRecordSize] = {};
    StoreField<uint32_t>(record, kCodeOffset, code);
    StoreField<uint32_t>(record, kArgumentOffset, argument);
    StoreField<uint32_t>(record, kSecondArgumentOffset, secondArgument);
    return Body(ZRPPROTOCOL_MH_MESSSCTL, record, sizeof record, 0);
}

std::vector<uint8_t> CursorMovementBody(int32_t x, int32_t y) {
    uint8_t record[16] = {};
    StoreField<int32_t>(record, 4, x);
    StoreField<int32_t>(record, 8, y);
    return Body(ZRPPROTOCOL_MH_MESSCRMV, record, sizeof record, 0);
}

std::vector<uint8_t> CursorShapeBody(const CursorPicture& picture) {
    const int width = std::clamp(picture.width, 0, kMaxSentCursorSide);
    const int height = std::clamp(picture.height, 0, kMaxSentCursorSide);
    if (static_cast<size_t>(picture.width) * static_cast<size_t>(picture.height) > picture.pixels.size()) {
        return CursorShapeBody(CursorPicture{});  // a picture without its pixels: an empty shape
    }
    uint8_t record[CursorShapeLayout::kData] = {};
    StoreField<uint32_t>(record, CursorShapeLayout::kType, kSourceMaskCursor);
    StoreField<uint32_t>(record, CursorShapeLayout::kWidth, static_cast<uint32_t>(width));
    StoreField<uint32_t>(record, CursorShapeLayout::kHeight, static_cast<uint32_t>(height));
    StoreField<uint32_t>(record, CursorShapeLayout::kHotX,
                         static_cast<uint32_t>(std::clamp(picture.hotX, 0, std::max(width - 1, 0))));
    StoreField<uint32_t>(record, CursorShapeLayout::kHotY,
                         static_cast<uint32_t>(std::clamp(picture.hotY, 0, std::max(height - 1, 0))));
    const size_t rowBytes = (static_cast<size_t>(width) + 7) / 8;
    const size_t plane = rowBytes * static_cast<size_t>(height);
    std::vector<uint8_t> body = Body(ZRPPROTOCOL_MH_MESSCRSH, record, sizeof record, 2 * plane);
    uint8_t* source = body.data() + kRecordHeaderSize + sizeof record;
    uint8_t* mask = source + plane;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const uint32_t p = picture.pixels[static_cast<size_t>(y) * static_cast<size_t>(picture.width) +
                                              static_cast<size_t>(x)];
            const uint32_t alpha = p >> 24;
            if (alpha < 0x80) continue;
            // Premultiplied: light where the colour is at least half of what its alpha allows.
            const uint32_t sum = ((p >> 16) & 0xFF) + ((p >> 8) & 0xFF) + (p & 0xFF);
            const size_t at = static_cast<size_t>(y) * rowBytes + static_cast<size_t>(x) / 8;
            const uint8_t bit = static_cast<uint8_t>(1u << (x % 8));  // least significant bit leftmost
            mask[at] |= bit;
            if (2 * sum >= 3 * alpha) source[at] |= bit;
        }
    }
    return body;
}

std::vector<uint8_t> ClipboardBody(std::string_view text) {
    uint8_t record[8] = {};
    StoreField<uint32_t>(record, 0, static_cast<uint32_t>(text.size()));
    StoreField<uint32_t>(record, 4, 1);
    std::vector<uint8_t> body = Body(ZRPPROTOCOL_MH_MESSCLPT, record, sizeof record, text.size());
    std::memcpy(body.data() + kRecordHeaderSize + sizeof record, text.data(), text.size());
    return body;
}

std::vector<uint8_t> WindowRequestBody(const WindowAnnouncement& window) {
    using Layout = WindowRecordLayout;
    uint8_t record[Layout::kSize] = {};
    const size_t textSize = window.code == kWindowCreate ? window.title.size() + 1 : 0;
    StoreField<uint32_t>(record, Layout::kTextLength, static_cast<uint32_t>(textSize));
    StoreField<uint32_t>(record, Layout::kCode, window.code);
    StoreField<uint32_t>(record, Layout::kId, window.id);
    StoreField<int32_t>(record, Layout::kX, window.x);
    StoreField<int32_t>(record, Layout::kY, window.y);
    StoreField<int32_t>(record, Layout::kWidth, window.width);
    StoreField<int32_t>(record, Layout::kHeight, window.height);
    std::vector<uint8_t> body = Body(ZRPPROTOCOL_MH_MESSWIND, record, sizeof record, textSize);
    // The linked id is the one field that travels little-endian, untouched by the conversion.
    uint8_t* linked = body.data() + kRecordHeaderSize + Layout::kLinkedId;
    for (int i = 0; i < 4; ++i) linked[i] = static_cast<uint8_t>(window.linkedId >> (8 * i));
    if (textSize > 0) std::memcpy(body.data() + kRecordHeaderSize + Layout::kSize, window.title.c_str(), textSize);
    return body;
}

std::vector<uint8_t> BellBody() {
    uint8_t record[kBellRecordSize] = {};
    record[0] = 0;  // 0: sound the bell
    record[1] = kBellFrequency;
    return Body(ZRPPROTOCOL_MH_MESSBELL, record, sizeof record, 0);
}

}  // namespace corvane::testserver
