#include "clipboard/clipboard_text.h"

#include <algorithm>
#include <array>
#include <cstdint>

#include "config/log.h"

namespace corvane {
namespace {

constexpr char32_t kReplacementCharacter = 0xFFFD;
constexpr char kUnmappable1252 = '?';

// Windows-1252 bytes 0x80 to 0x9F. The five bytes the code page leaves undefined stand for
// the C1 controls of the same value, as the platform's own conversion has them, so that every
// byte the server sends comes back unchanged.
constexpr std::array<char16_t, 32> kHigh1252 = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

char32_t From1252(uint8_t byte) { return byte >= 0x80 && byte < 0xA0 ? kHigh1252[byte - 0x80] : byte; }

// The byte for `c`, or -1 when Windows-1252 has none.
int To1252(char32_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<int>(c);
    for (size_t i = 0; i < kHigh1252.size(); ++i) {
        if (kHigh1252[i] == c) return static_cast<int>(0x80 + i);
    }
    return -1;
}

// Reads one character of UTF-8 at `at`; sets `length` to the bytes it took. An invalid or
// cut-short sequence reads as kReplacementCharacter over its first byte only, so that the
// next character is found again.
char32_t DecodeUtf8(std::string_view text, size_t at, size_t& length, bool& valid) {
    const auto byte = [&](size_t i) { return static_cast<uint8_t>(text[i]); };
    const uint8_t lead = byte(at);
    length = 1;
    valid = true;
    if (lead < 0x80) return lead;
    size_t need = 0;
    char32_t c = 0;
    char32_t lowest = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        need = 1, c = lead & 0x1F, lowest = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        need = 2, c = lead & 0x0F, lowest = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        need = 3, c = lead & 0x07, lowest = 0x10000;
    } else {
        valid = false;
        return kReplacementCharacter;
    }
    if (at + need >= text.size()) {
        valid = false;
        return kReplacementCharacter;
    }
    for (size_t i = 1; i <= need; ++i) {
        const uint8_t next = byte(at + i);
        if ((next & 0xC0) != 0x80) {
            valid = false;
            return kReplacementCharacter;
        }
        c = (c << 6) | (next & 0x3F);
    }
    if (c < lowest || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
        valid = false;
        return kReplacementCharacter;
    }
    length = need + 1;
    return c;
}

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

size_t Utf8Length(char32_t c) { return c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4; }

}  // namespace

const char* CharsetName(ClipboardCharset charset) {
    return charset == ClipboardCharset::Utf8 ? "UTF-8" : "Windows-1252";
}

std::string LocalTextToWire(std::string_view utf8, ClipboardCharset charset, TextConversion& report, size_t limit) {
    report = TextConversion{};
    report.originalBytes = utf8.size();
    report.limit = limit;
    std::string out;
    out.reserve(std::min(utf8.size(), limit));
    size_t at = 0;
    while (at < utf8.size()) {
        if (utf8[at] == '\0') {
            report.cutAtNul = true;
            break;
        }
        // The wire ends lines with "\n" alone.
        if (utf8[at] == '\r' && at + 1 < utf8.size() && utf8[at + 1] == '\n') {
            ++at;
            continue;
        }
        size_t length = 0;
        bool valid = true;
        const char32_t c = DecodeUtf8(utf8, at, length, valid);
        size_t bytes = 1;
        int narrow = 0;
        if (charset == ClipboardCharset::Utf8) {
            bytes = valid ? length : Utf8Length(kReplacementCharacter);
        } else {
            narrow = valid ? To1252(c) : -1;
        }
        if (out.size() + bytes > limit) {
            report.truncated = true;
            break;
        }
        if (charset == ClipboardCharset::Utf8) {
            if (valid) {
                out.append(utf8.substr(at, length));
            } else {
                AppendUtf8(out, kReplacementCharacter);
                ++report.replaced;
            }
        } else if (narrow >= 0) {
            out += static_cast<char>(narrow);
        } else {
            out += kUnmappable1252;
            ++report.replaced;
        }
        at += length;
    }
    report.keptBytes = out.size();
    return out;
}

std::string WireTextToLocal(std::string_view bytes, ClipboardCharset charset, LineEnds lineEnds,
                            TextConversion& report) {
    report = TextConversion{};
    report.originalBytes = bytes.size();
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 8);
    size_t at = 0;
    while (at < bytes.size()) {
        const auto byte = static_cast<uint8_t>(bytes[at]);
        if (byte == 0) {
            report.cutAtNul = true;
            break;
        }
        if (byte == '\n') {
            if (lineEnds == LineEnds::CrLf) out += '\r';
            out += '\n';
            ++at;
            continue;
        }
        if (charset == ClipboardCharset::Windows1252) {
            AppendUtf8(out, From1252(byte));
            ++at;
            continue;
        }
        size_t length = 0;
        bool valid = true;
        const char32_t c = DecodeUtf8(bytes, at, length, valid);
        if (valid) {
            out.append(bytes.substr(at, length));
        } else {
            AppendUtf8(out, c);
            ++report.replaced;
        }
        at += length;
    }
    report.keptBytes = out.size();
    return out;
}

void LogConversion(const TextConversion& report, ClipboardCharset charset, const char* direction) {
    if (report.replaced > 0) {
        DebugPrint(1, "Clipboard: %zu characters of the text %s cannot be carried in %s; each was replaced by %s\n",
                   report.replaced, direction, CharsetName(charset),
                   charset == ClipboardCharset::Utf8 ? "U+FFFD" : "'?'");
    }
    if (report.cutAtNul) {
        DebugPrint(1, "Clipboard: the text %s holds a NUL character; what follows it was dropped\n", direction);
    }
    if (report.truncated) {
        DebugPrint(0,
                   "Clipboard: the text %s (%zu bytes) is longer than the limit of %zu characters; "
                   "only its first %zu bytes were taken\n",
                   direction, report.originalBytes, report.limit, report.keptBytes);
    }
}

}  // namespace corvane
