// Clipboard text between the local desktop and the wire.
//
// The wire carries bytes in the session's character set, with "\n" line ends and no NUL
// inside. The servers were written for clients that sent their ANSI code page, Windows-1252,
// so that is the default; a site or connection may choose UTF-8 instead. The local side is
// always UTF-8 (what the desktop's clipboard gives and takes).
//
// Nothing is lost without a trace: a character the wire's set cannot carry is replaced (by
// '?' in Windows-1252, by U+FFFD in UTF-8) and counted, and text past the limit is cut and
// reported; the caller writes the log records (LogConversion).
//
// Pure functions: any thread.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace corvane {

enum class ClipboardCharset {
    Windows1252 = 0,
    Utf8 = 1,
};

// The most a clipboard text may hold on the wire, in bytes (characters in Windows-1252).
inline constexpr size_t kClipboardTextLimit = 20'000'000;

// How the local desktop ends lines: "\n" on X11, "\r\n" where the clipboard wants it.
enum class LineEnds { Lf, CrLf };

// What a conversion had to change.
struct TextConversion {
    size_t replaced = 0;         // characters that could not be carried and were replaced
    size_t originalBytes = 0;    // the input's size
    size_t keptBytes = 0;        // the output's size
    bool truncated = false;      // the input was longer than the limit and was cut
    size_t limit = 0;            // the limit the text was held to
    bool cutAtNul = false;       // the input held a NUL; what followed it was dropped
};

// The local clipboard's text (UTF-8) as the wire carries it: "\r\n" becomes "\n", the text
// ends at its first NUL, the characters go into `charset`, and at most `limit` bytes are
// kept, cut at a character's start.
[[nodiscard]] std::string LocalTextToWire(std::string_view utf8, ClipboardCharset charset, TextConversion& report,
                                          size_t limit = kClipboardTextLimit);

// The server's text (bytes in `charset`, "\n" line ends) as the local clipboard takes it:
// UTF-8 with the desktop's line ends; it ends at its first NUL.
[[nodiscard]] std::string WireTextToLocal(std::string_view bytes, ClipboardCharset charset, LineEnds lineEnds,
                                          TextConversion& report);

// Writes the log records a conversion calls for (nothing when nothing was changed).
// `direction` names the way the text went, as in "to the server".
void LogConversion(const TextConversion& report, ClipboardCharset charset, const char* direction);

// The charset's name as the log writes it ("Windows-1252", "UTF-8").
[[nodiscard]] const char* CharsetName(ClipboardCharset charset);

}  // namespace corvane
