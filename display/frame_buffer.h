// The work bitmap: the client's copy of the server's screen.
//
// width x (height rounded up to 16) pixels in the session's depth; rows at Stride() bytes
// (width x bytes per pixel rounded up to a multiple of 4); row 0 is the top row when the
// buffer is top-down, the bottom row otherwise. Pixel layouts:
//   depth 8: one colour-table index; 16: little-endian 5-5-5 word;
//   24, 124, 224: bytes blue, green, red, and 0 (24) or a colour-table index (124, 224).
// They are QImage formats as they stand (Indexed8, RGB555, RGB32), so the window paints the
// buffer without converting it.
//
// Writers (receive thread, decoder threads) and painters hold Mutex() while they touch the
// pixels, the colour table or the geometry; nobody holds it across a socket read or a
// decode. Other threads read the geometry as a snapshot (Geometry()).
//
// Damage: writers add the rectangles they changed (AddDamage) after they let go of the lock.
// The changed region is kept under a lock of its own; the first change after the views took
// the region raises the damage signal once, so a burst of updates costs one hand-over, and
// the views then take the whole region (TakeDamage) and paint the part each one shows.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include <functional>

#include "display/damage_region.h"
#include "display/png_writer.h"
#include "platform/large_buffer.h"

namespace corvane {

// What a write of blue, green and red does to byte 3 of a 4-byte pixel: keeps it where it
// means something (a multimode pixel's colour-table index), or makes it zero where it is
// always zero anyway (depth 24), which spares reading the frame buffer first.
enum class FourthByte { Kept, Zero };

// Bytes per pixel of a depth code (8: 1, 16: 2, 24, 124, 224: 4); 0 for any other code.
[[nodiscard]] int BytesPerPixelForDepth(int depth);

// The frame buffer's geometry at one moment.
struct FrameGeometry {
    bool valid = false;
    int width = 0;
    int height = 0;         // rows: session height rounded to 16
    int sessionHeight = 0;  // the screen's lines
    int depth = 0;
    int bytesPerPixel = 0;
    size_t stride = 0;
    bool topDown = true;
};

class FrameBuffer {
public:
    // Creates (or re-creates) the buffer, zero-filled: width and height 1..32767, depth one
    // of 8, 16, 24, 124, 224. False, with a log record, when the geometry is unusable or the
    // memory cannot be had; the buffer it had stays as it was. The colour table is kept.
    // Takes the lock only to swap the new pixels and geometry in.
    [[nodiscard]] bool CreateWorkBitmap(int width, int height, int depth, bool topDown);

    // The geometry as a snapshot, taken under the lock: any thread.
    [[nodiscard]] FrameGeometry Geometry() const;

    // The accessors below read the geometry without the lock: for the writers and painters
    // that hold it already, and for the thread that creates the bitmap.
    [[nodiscard]] bool Valid() const { return static_cast<bool>(m_pixels); }
    [[nodiscard]] int Width() const { return m_width; }
    [[nodiscard]] int Height() const { return m_height; }  // rows: session height rounded to 16
    [[nodiscard]] int SessionHeight() const { return m_sessionHeight; }
    [[nodiscard]] int Depth() const { return m_depth; }
    [[nodiscard]] int BytesPerPixel() const { return m_bytesPerPixel; }
    [[nodiscard]] int BitsPerPixel() const { return m_bytesPerPixel * 8; }
    [[nodiscard]] size_t Stride() const { return m_stride; }
    [[nodiscard]] bool TopDown() const { return m_topDown; }
    // What a write of blue, green and red does to byte 3 of a 4-byte pixel here.
    [[nodiscard]] FourthByte FourthByteOfWrites() const {
        return m_depth == 24 ? FourthByte::Zero : FourthByte::Kept;
    }

    // The row that shows screen line y (0 at the top, below Height()), whatever the
    // orientation. Callers check y.
    [[nodiscard]] uint8_t* ScreenRow(int y);
    [[nodiscard]] const uint8_t* ScreenRow(int y) const;
    [[nodiscard]] uint8_t* Pixels() { return m_pixels.data(); }
    [[nodiscard]] const uint8_t* Pixels() const { return m_pixels.data(); }

    // The frame-buffer lock.
    [[nodiscard]] std::mutex& Mutex() const { return m_mutex; }

    // The colour table: entries as the bitmap holds them, red << 16 | green << 8 | blue (in
    // memory on a little-endian host: blue, green, red, 0; a QRgb without alpha), and the
    // lookup words (red << 24 | green << 16 | blue << 8) the multimode decoders read.
    // Written and read under the lock.
    std::array<uint32_t, 256>& ColourEntries() { return m_colourEntries; }
    std::array<uint32_t, 256>& LookupWords() { return m_lookupWords; }
    [[nodiscard]] const std::array<uint32_t, 256>& ColourEntries() const { return m_colourEntries; }

    // The screen as it is shown: top row first, colour table applied, 3 bytes per pixel
    // (red, green, blue), width x SessionHeight(). Takes the lock.
    // Empty when there is no buffer.
    [[nodiscard]] std::vector<uint8_t> ShownRgb() const;

    // Damage. AddDamage: this area (screen coordinates) changed; any thread, never under the
    // frame-buffer lock. AddDamageAll: the whole screen changed (a colour table, a new
    // bitmap). TakeDamage: hands the changed region to `out` and starts a new one.
    void AddDamage(int x, int y, int width, int height);
    void AddDamageAll();
    void TakeDamage(std::vector<DamageRect>& out);
    // Called, on the thread that added it, when damage arrives and the region was empty: the
    // listener hands the news to the views and returns at once. Set before any writer runs.
    void SetDamageListener(std::function<void()> listener);

private:
    mutable std::mutex m_mutex;
    std::mutex m_damageMutex;
    DamageRegion m_damage;  // under m_damageMutex
    std::function<void()> m_damageListener;
    // Zero without touching every page up front.
    LargeBuffer m_pixels;
    int m_width = 0;
    int m_height = 0;
    int m_sessionHeight = 0;
    int m_depth = 0;
    int m_bytesPerPixel = 0;
    size_t m_stride = 0;
    bool m_topDown = true;
    std::array<uint32_t, 256> m_colourEntries{};
    std::array<uint32_t, 256> m_lookupWords{};
};

}  // namespace corvane
