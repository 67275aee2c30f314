// The server's enhanced metafile, carried as clipboard text:
//
//   "QEl 1.1 CF_ENHMETAFILE", one separator character, the inflated size in decimal, '|',
//   then the deflated metafile as hexadecimal text, two digits a byte.
//
// Everything is checked before it is used: the size must be a plain decimal number within
// what the deflated bytes could hold, the digits must be whole pairs of hexadecimal digits,
// the bytes must inflate to exactly the size declared, and what comes out must begin with a
// metafile header. Anything else is refused with a log record and changes nothing.
//
// Pure functions: any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace corvane {

inline constexpr std::string_view kMetafileTag = "QEl 1.1 CF_ENHMETAFILE";
// The largest metafile taken from the server.
inline constexpr size_t kMetafileLimit = 64u << 20;

enum MetafileResult : int {
    kMetafileOk = 0,
    kMetafileNoBar = -1,        // no '|' after the size
    kMetafileBadSize = -2,      // the size is not a number, is 0, or more than the data can hold
    kMetafileBadHex = -3,       // no data, an odd digit or a character that is not a digit
    kMetafileNoInflate = -4,    // the data is not a deflated stream
    kMetafileWrongSize = -5,    // it inflates to more or less than the size declared
    kMetafileNotMetafile = -6,  // what it inflates to has no metafile header
};

// Whether the server's text carries a metafile rather than plain text.
[[nodiscard]] bool IsMetafileText(std::string_view text);

// Reads the metafile form into `bits`. kMetafileOk, or one of the refusals above with a log
// record; `bits` is then empty.
[[nodiscard]] int ReadMetafileText(std::string_view text, std::vector<uint8_t>& bits);

// The form the server writes, for the test server and tests: `bits` deflated and written out.
[[nodiscard]] std::string MetafileText(const std::vector<uint8_t>& bits);

}  // namespace corvane
