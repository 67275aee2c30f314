#include "tools/testserver/jpeg_image_updates.h"

#include <algorithm>
#include <cstring>

#include "protocol/records.h"

namespace corvane::testserver {

namespace {

constexpr uint16_t kFormatTagValid = 257;
constexpr size_t kImageRecordSize = 8;
constexpr size_t kRectangleHeaderSize = 20;
constexpr uint32_t kJpegDepth = 24;

}  // namespace

bool IsJpegCompform(uint32_t compform) { return compform >= 10 && compform <= 12; }

JpegSettings JpegSettingsForCompform(uint32_t compform) {
    switch (compform) {
        case 11: return {JpegSampling::S444, 90, false};
        case 12: return {JpegSampling::S420, 80, true};
        default: return {JpegSampling::S420, 80, false};
    }
}

std::vector<uint8_t> DesktopRgb(const PixelSource& desktop, int frame, const PixelRect& box) {
    std::vector<uint8_t> rgb(static_cast<size_t>(box.width) * static_cast<size_t>(box.height) * 3);
    uint8_t* out = rgb.data();
    for (int y = box.y; y < box.y + box.height; ++y) {
        for (int x = box.x; x < box.x + box.width; ++x) {
            const Rgb colour = desktop.ColourAt(x, y, frame);
            *out++ = colour.red;
            *out++ = colour.green;
            *out++ = colour.blue;
        }
    }
    return rgb;
}

PixelRect BoundingBox(const std::vector<PixelRect>& rects) {
    PixelRect box = rects.front();
    for (const PixelRect& r : rects) {
        const int right = std::max(box.x + box.width, r.x + r.width);
        const int bottom = std::max(box.y + box.height, r.y + r.height);
        box.x = std::min(box.x, r.x);
        box.y = std::min(box.y, r.y);
        box.width = right - box.x;
        box.height = bottom - box.y;
    }
    return box;
}

std::vector<uint8_t> JpegImageUpdateBody(const PixelSource& desktop, int frame, const std::vector<PixelRect>& rects,
                                         uint32_t compform) {
    if (rects.empty()) return {};
    const PixelRect box = BoundingBox(rects);
    const JpegSettings settings = JpegSettingsForCompform(compform);
    const std::vector<uint8_t> rgb = DesktopRgb(desktop, frame, box);
    const std::vector<uint8_t> jpeg = EncodeJpegImage(rgb.data(), box.width, box.height, box.width * 3,
                                                      settings.quality, settings.sampling, settings.progressive);
    if (jpeg.empty()) return {};

    std::vector<uint8_t> body(kRecordHeaderSize + kImageRecordSize + kRectangleHeaderSize + jpeg.size());
    uint8_t* header = body.data();
    MakeRecordHeader(header, ZRPPROTOCOL_MH_MESSIMFB);
    StoreField<uint32_t>(header, RecordHeaderLayout::kSize, static_cast<uint32_t>(body.size()));
    StoreField<uint16_t>(header, RecordHeaderLayout::kFormatTag, kFormatTagValid);
    StoreField<uint32_t>(header, RecordHeaderLayout::kCompform, compform);
    StoreField<uint32_t>(header, RecordHeaderLayout::kDepth, kJpegDepth);
    RecordHeaderToWire(header);
    uint8_t* record = body.data() + kRecordHeaderSize;
    StoreField<uint32_t>(record, 0, kJpegImageType);
    StoreField<uint32_t>(record, 4, 1);
    RecordToWire(record, ZRPPROTOCOL_MH_MESSIMFB, kImageRecordSize);
    uint8_t* rect = record + kImageRecordSize;
    PutBE32(rect, static_cast<uint32_t>(jpeg.size()));
    PutBE32(rect + 4, static_cast<uint32_t>(box.x));
    PutBE32(rect + 8, static_cast<uint32_t>(box.y));
    PutBE32(rect + 12, static_cast<uint32_t>(box.width));
    PutBE32(rect + 16, static_cast<uint32_t>(box.height));
    std::memcpy(rect + kRectangleHeaderSize, jpeg.data(), jpeg.size());
    return body;
}

}  // namespace corvane::testserver
