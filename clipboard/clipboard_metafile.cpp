#include "clipboard/clipboard_metafile.h"

#include <zlib.h>

#include "config/log.h"

namespace corvane {
namespace {

// The size's digits begin after the tag and one separator character.
constexpr size_t kSizeOffset = kMetafileTag.size() + 1;
// Deflate shrinks at most about 1032 to 1; a size beyond that is a lie.
constexpr size_t kDeflateMostRatio = 1032;
constexpr size_t kMostSizeDigits = 10;

// An enhanced metafile begins with its header record: type 1, and " EMF" at byte 40.
constexpr size_t kHeaderRecordSize = 88;
constexpr size_t kSignatureOffset = 40;
constexpr uint32_t kHeaderRecordType = 1;
constexpr uint32_t kSignature = 0x464D4520;

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

uint32_t LittleEndian32(const uint8_t* at) {
    return uint32_t{at[0]} | (uint32_t{at[1]} << 8) | (uint32_t{at[2]} << 16) | (uint32_t{at[3]} << 24);
}

int Refuse(int result, const char* why, std::vector<uint8_t>& bits) {
    DebugPrint(0, "Clipboard: the server's metafile is refused: %s\n", why);
    bits.clear();
    return result;
}

}  // namespace

bool IsMetafileText(std::string_view text) {
    return text.size() >= kMetafileTag.size() && text.substr(0, kMetafileTag.size()) == kMetafileTag;
}

int ReadMetafileText(std::string_view text, std::vector<uint8_t>& bits) {
    bits.clear();
    const size_t bar = text.size() > kSizeOffset ? text.find('|', kSizeOffset) : std::string_view::npos;
    if (bar == std::string_view::npos) return Refuse(kMetafileNoBar, "no '|' after its size", bits);

    const std::string_view digits = text.substr(kSizeOffset, bar - kSizeOffset);
    if (digits.empty() || digits.size() > kMostSizeDigits) return Refuse(kMetafileBadSize, "its size is not a number", bits);
    size_t declared = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return Refuse(kMetafileBadSize, "its size is not a number", bits);
        declared = declared * 10 + static_cast<size_t>(c - '0');
    }

    // The digits run to the end of the text; blanks and line ends behind them are allowed.
    std::string_view hex = text.substr(bar + 1);
    while (!hex.empty() && (hex.back() == '\n' || hex.back() == '\r' || hex.back() == ' ' || hex.back() == '\t')) {
        hex.remove_suffix(1);
    }
    if (hex.empty() || hex.size() % 2 != 0) return Refuse(kMetafileBadHex, "its data is not whole hexadecimal pairs", bits);
    const size_t compressedSize = hex.size() / 2;
    if (declared == 0 || declared > kMetafileLimit || declared > compressedSize * kDeflateMostRatio + 64) {
        DebugPrint(0, "Clipboard: the server's metafile declares %zu bytes from %zu deflated bytes\n", declared,
                   compressedSize);
        return Refuse(kMetafileBadSize, "its size cannot be right", bits);
    }
    std::vector<uint8_t> compressed(compressedSize);
    for (size_t i = 0; i < compressedSize; ++i) {
        const int high = HexDigit(hex[2 * i]);
        const int low = HexDigit(hex[2 * i + 1]);
        if (high < 0 || low < 0) return Refuse(kMetafileBadHex, "its data holds a character that is not hexadecimal", bits);
        compressed[i] = static_cast<uint8_t>(high << 4 | low);
    }

    // One byte of room beyond the size declared tells a stream that inflates to more.
    bits.resize(declared + 1);
    uLongf inflated = static_cast<uLongf>(bits.size());
    uLong consumed = static_cast<uLong>(compressed.size());
    const int status = uncompress2(bits.data(), &inflated, compressed.data(), &consumed);
    if (status == Z_BUF_ERROR || (status == Z_OK && inflated != declared)) {
        DebugPrint(0, "Clipboard: the server's metafile declares %zu bytes and inflates to %s%lu\n", declared,
                   status == Z_BUF_ERROR ? "more than " : "", static_cast<unsigned long>(inflated));
        return Refuse(kMetafileWrongSize, "it does not inflate to its declared size", bits);
    }
    if (status != Z_OK) {
        DebugPrint(0, "Clipboard: the server's metafile does not inflate: zlib status %d\n", status);
        return Refuse(kMetafileNoInflate, "its data is not a deflated stream", bits);
    }
    bits.resize(declared);
    if (bits.size() < kHeaderRecordSize || LittleEndian32(bits.data()) != kHeaderRecordType ||
        LittleEndian32(bits.data() + kSignatureOffset) != kSignature) {
        return Refuse(kMetafileNotMetafile, "it has no metafile header", bits);
    }
    DebugPrint(10, "Clipboard: metafile of %zu bytes from the server\n", bits.size());
    return kMetafileOk;
}

std::string MetafileText(const std::vector<uint8_t>& bits) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::vector<uint8_t> compressed(compressBound(static_cast<uLong>(bits.size())));
    uLongf size = static_cast<uLongf>(compressed.size());
    if (compress2(compressed.data(), &size, bits.data(), static_cast<uLong>(bits.size()), 6) != Z_OK) return {};
    std::string text(kMetafileTag);
    text += ' ';
    text += std::to_string(bits.size());
    text += '|';
    text.reserve(text.size() + 2 * size);
    for (uLongf i = 0; i < size; ++i) {
        text += kHex[compressed[i] >> 4];
        text += kHex[compressed[i] & 15];
    }
    return text;
}

}  // namespace corvane
