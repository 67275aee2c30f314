#include "display/frame_buffer.h"

#include "config/log.h"

namespace corvane {

namespace {

// Session geometry travels in 16-bit fields; anything beyond is not a screen.
constexpr int kMaxDimension = 32767;
// Decoders work in whole 16-row units, so the buffer has room for the last partial one.
constexpr int kRowUnit = 16;
constexpr size_t kRowAlignment = 4;

// Widens a 5-bit channel to 8 bits by repeating its high bits, so that 31 becomes 255.
constexpr uint8_t Widen5(unsigned channel) {
    return static_cast<uint8_t>((channel << 3) | (channel >> 2));
}

}  // namespace

int BytesPerPixelForDepth(int depth) {
    switch (depth) {
        case 8: return 1;
        case 16: return 2;
        case 24:
        case 124:
        case 224: return 4;
        default: return 0;
    }
}

bool FrameBuffer::CreateWorkBitmap(int width, int height, int depth, bool topDown) {
    const int bytesPerPixel = BytesPerPixelForDepth(depth);
    DebugPrint(1, "Start CreateWorkBitmap  %dx%dx%d (%d bpp)\n", width, height, depth,
               bytesPerPixel != 0 ? bytesPerPixel * 8 : depth);
    if (width < 1 || width > kMaxDimension || height < 1 || height > kMaxDimension ||
        bytesPerPixel == 0) {
        DebugPrint(0, "CreateWorkBitmap: unusable geometry %dx%d depth %d\n", width, height,
                   depth);
        DebugPrint(0, "Error Creating bitmap\n");
        return false;
    }

    const int rows = (height + kRowUnit - 1) / kRowUnit * kRowUnit;
    // Rows are padded to 4 bytes, as bitmaps on every platform pad them; decoders address
    // rows by Stride(), so 8-bit buffers of odd widths need no special case.
    const size_t stride =
        (static_cast<size_t>(width) * static_cast<size_t>(bytesPerPixel) + kRowAlignment - 1) /
        kRowAlignment * kRowAlignment;
    LargeBuffer pixels = LargeBuffer::Allocate(static_cast<size_t>(rows) * stride);
    if (!pixels) {
        DebugPrint(0, "Error Creating bitmap\n");
        return false;
    }

    std::lock_guard lock(m_mutex);
    m_pixels = std::move(pixels);
    m_width = width;
    m_height = rows;
    m_sessionHeight = height;
    m_depth = depth;
    m_bytesPerPixel = bytesPerPixel;
    m_stride = stride;
    m_topDown = topDown;
    return true;
}

FrameGeometry FrameBuffer::Geometry() const {
    std::lock_guard lock(m_mutex);
    return FrameGeometry{static_cast<bool>(m_pixels), m_width, m_height, m_sessionHeight, m_depth,
                         m_bytesPerPixel, m_stride, m_topDown};
}

void FrameBuffer::AddDamage(int x, int y, int width, int height) {
    bool first = false;
    {
        std::lock_guard lock(m_damageMutex);
        first = m_damage.Empty();
        m_damage.Add(DamageRect{x, y, width, height});
        first = first && !m_damage.Empty();
    }
    if (first && m_damageListener) m_damageListener();
}

void FrameBuffer::AddDamageAll() {
    const FrameGeometry g = Geometry();
    AddDamage(0, 0, g.width, g.sessionHeight);
}

void FrameBuffer::TakeDamage(std::vector<DamageRect>& out) {
    std::lock_guard lock(m_damageMutex);
    m_damage.TakeInto(out);
}

void FrameBuffer::SetDamageListener(std::function<void()> listener) {
    m_damageListener = std::move(listener);
}

uint8_t* FrameBuffer::ScreenRow(int y) {
    const int row = m_topDown ? y : m_height - 1 - y;
    return m_pixels.data() + static_cast<size_t>(row) * m_stride;
}

const uint8_t* FrameBuffer::ScreenRow(int y) const {
    const int row = m_topDown ? y : m_height - 1 - y;
    return m_pixels.data() + static_cast<size_t>(row) * m_stride;
}

std::vector<uint8_t> FrameBuffer::ShownRgb() const {
    std::lock_guard lock(m_mutex);
    if (!m_pixels) return {};
    std::vector<uint8_t> rgb(static_cast<size_t>(m_width) * static_cast<size_t>(m_sessionHeight) * 3);
    uint8_t* out = rgb.data();
    for (int y = 0; y < m_sessionHeight; ++y) {
        const uint8_t* in = ScreenRow(y);
        switch (m_bytesPerPixel) {
            case 1:
                for (int x = 0; x < m_width; ++x, out += 3) {
                    const uint32_t entry = m_colourEntries[in[x]];
                    out[0] = static_cast<uint8_t>(entry >> 16);
                    out[1] = static_cast<uint8_t>(entry >> 8);
                    out[2] = static_cast<uint8_t>(entry);
                }
                break;
            case 2:
                for (int x = 0; x < m_width; ++x, out += 3, in += 2) {
                    const unsigned word = in[0] | (in[1] << 8);
                    out[0] = Widen5((word >> 10) & 0x1F);
                    out[1] = Widen5((word >> 5) & 0x1F);
                    out[2] = Widen5(word & 0x1F);
                }
                break;
            default:
                for (int x = 0; x < m_width; ++x, out += 3, in += 4) {
                    out[0] = in[2];
                    out[1] = in[1];
                    out[2] = in[0];
                }
                break;
        }
    }
    return rgb;
}

}  // namespace corvane
