#include "display/colour_table.h"

#include <algorithm>
#include <mutex>

#include "config/error_box.h"
#include "config/log.h"
#include "display/display_records.h"
#include "protocol/records.h"

namespace corvane {

namespace {

constexpr size_t kTableSize = 256;
constexpr int kMultimodeDepth = 124;

// Gives every pixel that carries a colour index the colour of its table entry; direct-colour
// pixels (index 0) keep theirs. Caller holds the lock.
void Recolour(FrameBuffer& frameBuffer) {
    const auto& lookup = frameBuffer.LookupWords();
    const size_t rowBytes = static_cast<size_t>(frameBuffer.Width()) * 4;
    for (int row = 0; row < frameBuffer.Height(); ++row) {
        uint8_t* pixel = frameBuffer.Pixels() + static_cast<size_t>(row) * frameBuffer.Stride();
        for (uint8_t* end = pixel + rowBytes; pixel != end; pixel += 4) {
            const uint8_t index = pixel[3];
            if (index == 0) continue;
            const uint32_t word = lookup[index];
            pixel[0] = static_cast<uint8_t>(word >> 8);
            pixel[1] = static_cast<uint8_t>(word >> 16);
            pixel[2] = static_cast<uint8_t>(word >> 24);
        }
    }
}

}  // namespace

int UpdateColourTable(FrameBuffer& frameBuffer, const std::string& caption, const uint8_t* record,
                      size_t size) {
    const uint32_t count = LoadField<uint32_t>(record, ColourTableLayout::kCount);
    const uint32_t first = LoadField<uint32_t>(record, ColourTableLayout::kFirstIndex);
    const uint32_t entrySize = LoadField<uint32_t>(record, ColourTableLayout::kEntrySize);

    size_t written = 0;
    if (entrySize != ColourTableLayout::kRgbEntrySize) {
        ShowErrorBox(caption, "Unknown table entry size!!!");
    } else if (first >= kTableSize) {
        DebugPrint(0, "Colour table of %u colours from index %u lies beyond the %zu entries: ignored\n",
                   count, first, kTableSize);
    } else {
        const size_t inMessage = (size - ColourTableLayout::kEntries) / ColourTableLayout::kRgbEntrySize;
        const size_t usable = std::min({size_t{count}, kTableSize - first, inMessage});
        if (usable < count) {
            DebugPrint(0, "Colour table of %u colours from index %u: only %zu used (%zu in the message)\n",
                       count, first, usable, inMessage);
        }
        const uint8_t* entry = record + ColourTableLayout::kEntries;
        std::lock_guard lock(frameBuffer.Mutex());
        auto& entries = frameBuffer.ColourEntries();
        auto& lookup = frameBuffer.LookupWords();
        for (size_t k = 0; k < usable; ++k, entry += ColourTableLayout::kRgbEntrySize) {
            const uint32_t red = entry[0];
            const uint32_t green = entry[1];
            const uint32_t blue = entry[2];
            entries[first + k] = red << 16 | green << 8 | blue;
            lookup[first + k] = red << 24 | green << 16 | blue << 8;
        }
        written = usable;
        if (usable > 0 && frameBuffer.Valid() && frameBuffer.Depth() == kMultimodeDepth) {
            Recolour(frameBuffer);
        }
    }

    frameBuffer.AddDamageAll();
    DebugPrint(1, "Updated Color Table -- %d colors\n", static_cast<int>(count));
    return static_cast<int>(written);
}

}  // namespace corvane
