// Compression formats ("compforms"): the numbers the server names in image updates and
// drawing requests, their two-letter names, and which decoder each one goes to.
//
// Constant tables and plain functions: any thread.
#pragma once

#include <array>
#include <cstdint>

namespace corvane {

struct CompformEntry {
    int number;
    const char* name;
};

// The formats the user can ask for, in the order the hot keys step through them. The table
// of numbers ends with a 0 entry at index 12, which has no name.
inline constexpr std::array<CompformEntry, 12> kCompforms = {{
    {1, "A1"},
    {2, "A2"},
    {4, "B1"},
    {5, "B2"},
    {7, "C1"},
    {8, "C2"},
    {10, "D1"},
    {11, "D2"},
    {12, "D3"},
    {101, "F1"},
    {102, "F2"},
    {201, "G1"},
}};

// The number at a position of the table; 0 for index 12, the table's end marker, and for
// any position outside the table. Logs "compform value[%d] = %d\n" (10).
[[nodiscard]] int CompformAtIndex(int index);

// The name shown in titles and logs: the table's name, "C1" for any number it lacks.
// Logs "compform name[%d] = %s\n" (10) with the table index used, 4 for a number it lacks.
[[nodiscard]] const char* CompformName(int compform);

// What the message reader must do with a payload while this compform is current:
// kDecoderRawCompext for the planar formats (decoded straight into the frame buffer later),
// kDecoderJpeg for the JPEG rectangle formats, kDecoderDeflate otherwise.
[[nodiscard]] int DecodeClassForCompform(int compform);

// The rectangle decoder of an image update in each compform.
enum class ImageDecoder {
    Raw,            // 4, 5
    Planar,         // 6, 9: planar run-length
    Pixels16,       // 7, 8
    Jpeg,           // 10, 11, 12
    PaletteChunks,  // every other number
};

[[nodiscard]] ImageDecoder ImageDecoderForCompform(int compform);

}  // namespace corvane
