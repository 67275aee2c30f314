// Arbitrary bytes as the server's clipboard text: read as a metafile form (behind the tag),
// and converted both ways in both character sets. A metafile that is taken is exactly its
// declared size and begins with a metafile header; Windows-1252 text comes back byte for
// byte; nothing grows past the limit.
#include <string>
#include <string_view>
#include <vector>

#include "clipboard/clipboard_metafile.h"
#include "clipboard/clipboard_text.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    corvane::fuzz::QuietLog();
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    std::vector<uint8_t> bits;
    const std::string form = std::string(corvane::kMetafileTag) + std::string(bytes);
    if (corvane::ReadMetafileText(form, bits) == corvane::kMetafileOk) {
        if (bits.size() < 88 || bits.size() > corvane::kMetafileLimit) __builtin_trap();
    } else if (!bits.empty()) {
        __builtin_trap();
    }

    corvane::TextConversion in;
    corvane::TextConversion out;
    const std::string local = corvane::WireTextToLocal(bytes, corvane::ClipboardCharset::Windows1252,
                                                       corvane::LineEnds::Lf, in);
    const std::string wire = corvane::LocalTextToWire(local, corvane::ClipboardCharset::Windows1252, out);
    // The server's bytes up to the first NUL, with "\r\n" read as a line end.
    std::string expected(bytes.substr(0, bytes.find('\0')));
    for (size_t at = expected.find("\r\n"); at != std::string::npos; at = expected.find("\r\n", at)) {
        expected.erase(at, 1);
    }
    if (wire != expected || in.replaced != 0 || out.replaced != 0) __builtin_trap();

    const std::string utf8 = corvane::WireTextToLocal(bytes, corvane::ClipboardCharset::Utf8,
                                                      corvane::LineEnds::CrLf, in);
    const std::string back = corvane::LocalTextToWire(utf8, corvane::ClipboardCharset::Utf8, out, 64);
    if (back.size() > 64 || out.replaced != 0) __builtin_trap();
    return 0;
}
