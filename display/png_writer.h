// Writing a screen image as a PNG file: 8-bit RGB, not interlaced, one IDAT chunk, every row
// unfiltered. Enough for screenshots; not a general PNG encoder.
//
// Plain function: any thread. It allocates (the deflated image), so it is not for the
// decode path.
#pragma once

#include <cstdint>
#include <string>

namespace corvane {

// Writes an 8-bit RGB PNG (rgb: width x height x 3 bytes, top row first), replacing the
// file. False, with a log record, when the size is unusable, zlib fails or the file cannot
// be written.
[[nodiscard]] bool WritePng(const std::string& path, const uint8_t* rgb, int width, int height);

}  // namespace corvane
