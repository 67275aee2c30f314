// A small frame buffer filled with a known background, for the rectangle decoder tests: draw
// from a heap copy of exactly the bytes given (AddressSanitizer catches a read past them),
// read pixels back, and check that a cut update drew a prefix of what the whole one draws.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "config/log.h"
#include "display/colour_table.h"
#include "display/frame_buffer.h"
#include "image_update_builder.h"
#include "recording_events.h"
#include "support/temp_dir.h"

namespace corvane::test {

inline constexpr uint8_t kBackground = 0x5A;

inline void PutLittle32(std::vector<uint8_t>& out, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

inline std::vector<uint8_t> Join(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

inline size_t CountOf(const std::string& text, const std::string& part) {
    size_t found = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++found;
    return found;
}

// Draws through one decoder: (frame buffer, record, size, depth) -> rectangles drawn.
using DecoderFunction = int (*)(FrameBuffer&, const uint8_t*, size_t, int);

class DecoderTest : public ::testing::Test {
protected:
    void SetUp() override { ResetLogForTesting(); }
    void TearDown() override { ResetLogForTesting(); }

    void Create(int width, int height, int depth) {
        ASSERT_TRUE(m_fb.CreateWorkBitmap(width, height, depth, true));
        m_events.Watch(m_fb);
        Clear();
    }
    void Clear() {
        std::memset(m_fb.Pixels(), kBackground, m_fb.Stride() * static_cast<size_t>(m_fb.Height()));
        m_events.repaints.clear();
    }
    // Colour-table entry `index` as red, green, blue.
    void SetColour(uint32_t index, uint8_t red, uint8_t green, uint8_t blue) {
        std::vector<uint8_t> table;
        PutHost32(table, 1);
        PutHost32(table, index);
        PutHost32(table, 3);
        table.insert(table.end(), {red, green, blue});
        ASSERT_EQ(UpdateColourTable(m_fb, m_events.baseTitle, table.data(), table.size()), 1);
    }
    int Draw(DecoderFunction decode, const std::vector<uint8_t>& record, int depth, size_t size = SIZE_MAX) {
        ExactBytes exact(record, std::min(size, record.size()));
        return decode(m_fb, exact.data.get(), exact.size, depth);
    }
    std::vector<uint8_t> PixelBytes(int x, int y, int count = 1) const {
        const uint8_t* p = m_fb.ScreenRow(y) + static_cast<size_t>(x) * m_fb.BytesPerPixel();
        return {p, p + static_cast<size_t>(count) * m_fb.BytesPerPixel()};
    }
    // The bytes of a rectangle, row after row.
    std::vector<uint8_t> Area(int x, int y, int width, int height) const {
        std::vector<uint8_t> bytes;
        for (int row = y; row < y + height; ++row) bytes = Join(std::move(bytes), PixelBytes(x, row, width));
        return bytes;
    }

    // For every length from the record header to the whole record, draws the record cut
    // there (its last rectangle's declared size kept, so the data ends early rather than the
    // message) and checks that each frame-buffer byte of the area is either what the whole
    // record draws or the background, and that in every byte lane (`lanes` = pixel size, or
    // 1 to treat all bytes as one lane) the drawn bytes form a prefix of the area.
    void ExpectCutsDrawPrefixes(DecoderFunction decode, const RectSpec& rect, int depth, size_t lanes) {
        const std::vector<uint8_t> whole = ImageUpdateRecord({rect});
        Clear();
        ASSERT_EQ(Draw(decode, whole, depth), 1);
        const std::vector<uint8_t> full = Area(rect.x, rect.y, rect.width, rect.height);
        const size_t dataStart = whole.size() - rect.data.size();
        for (size_t cut = dataStart; cut <= whole.size(); ++cut) {
            SCOPED_TRACE("data cut to " + std::to_string(cut - dataStart) + " bytes");
            RectSpec shorter = rect;
            shorter.data.resize(cut - dataStart);
            Clear();
            (void)Draw(decode, ImageUpdateRecord({shorter}), depth);
            const std::vector<uint8_t> got = Area(rect.x, rect.y, rect.width, rect.height);
            for (size_t lane = 0; lane < lanes; ++lane) {
                bool reached = true;
                for (size_t i = lane; i < got.size(); i += lanes) {
                    if (reached && got[i] != full[i]) reached = false;
                    if (!reached) {
                        ASSERT_EQ(got[i], kBackground) << "byte " << i << " drawn after the data ended";
                    }
                }
            }
        }
    }

    FrameBuffer m_fb;
    RecordingEvents m_events;
};

}  // namespace corvane::test
