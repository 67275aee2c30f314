#include "display/rectangle_reader.h"

#include <algorithm>

#include <arpa/inet.h>

#include "config/log.h"
#include "display/display_records.h"
#include "protocol/records.h"

namespace corvane {

namespace {

int32_t WireWord(const uint8_t* header, size_t offset) {
    return static_cast<int32_t>(ntohl(LoadField<uint32_t>(header, offset)));
}

}  // namespace

RectangleReader::RectangleReader(const uint8_t* record, size_t size)
    : m_record(record), m_size(size), m_offset(ImageUpdateLayout::kFirstRectangle) {
    if (size < ImageUpdateLayout::kFirstRectangle) {
        DebugPrint(0, "Image update of %zu record bytes has no rectangle count\n", size);
        return;
    }
    m_count = LoadField<uint32_t>(record, ImageUpdateLayout::kRectangleCount);
}

bool RectangleReader::Next(UpdateRectangle& rect) {
    if (m_index >= m_count) return false;
    const size_t left = m_size - m_offset;
    if (left < RectangleHeaderLayout::kSize) {
        DebugPrint(0, "Image update: rectangle %u of %u has no room for its header (%zu bytes left)\n",
                   m_index + 1, m_count, left);
        m_index = m_count;
        return false;
    }
    const uint8_t* header = m_record + m_offset;
    const uint32_t dataSize = static_cast<uint32_t>(WireWord(header, RectangleHeaderLayout::kDataSize));
    if (dataSize > left - RectangleHeaderLayout::kSize) {
        DebugPrint(0, "Image update: rectangle %u of %u claims %u data bytes, only %zu left\n",
                   m_index + 1, m_count, dataSize, left - RectangleHeaderLayout::kSize);
        m_index = m_count;
        return false;
    }
    rect.x = WireWord(header, RectangleHeaderLayout::kX);
    rect.y = WireWord(header, RectangleHeaderLayout::kY);
    rect.width = WireWord(header, RectangleHeaderLayout::kWidth);
    rect.height = WireWord(header, RectangleHeaderLayout::kHeight);
    rect.data = header + RectangleHeaderLayout::kSize;
    rect.size = dataSize;
    m_offset += RectangleHeaderLayout::kSize + dataSize;
    ++m_index;
    return true;
}

bool RectangleInside(const FrameBuffer& frameBuffer, const UpdateRectangle& rect) {
    // Sums in 64 bits: a width near 2^31 must not wrap into the bitmap.
    const bool inside = rect.x >= 0 && rect.y >= 0 && rect.width > 0 && rect.height > 0 &&
                        int64_t{rect.x} + rect.width <= frameBuffer.Width() &&
                        int64_t{rect.y} + rect.height <= frameBuffer.Height();
    if (!inside) DebugPrint(10, "Error: data from server is out of bounds!!!");
    return inside;
}

void RepaintArea::Add(const UpdateRectangle& rect) {
    m_area = Unite(m_area, DamageRect{rect.x, rect.y, rect.width, rect.height});
}

void RepaintArea::Request(FrameBuffer& frameBuffer) const {
    if (Empty()) return;
    frameBuffer.AddDamage(m_area.x, m_area.y, m_area.width, m_area.height);
}

}  // namespace corvane
