// The server's clipboard (type 1004): plain text, or an enhanced metafile wrapped in text.
// The text is checked against the message, converted from the session's character set and
// handed to the user interface; a metafile is inflated and handed on as a picture.
//
// Receive thread only, but for SetCharset, which comes before the receive thread runs.
#pragma once

#include <cstddef>
#include <cstdint>

#include "clipboard/clipboard_port.h"
#include "clipboard/clipboard_text.h"
#include "protocol/message_frame.h"
#include "protocol/message_router.h"

namespace corvane {

// Clipboard record: the element count (for text its length in bytes, without the NUL) and
// the element size (1 for text). A request for the server's text is (0, 0).
struct ClipboardRecordLayout {
    static constexpr size_t kCount = 0;
    static constexpr size_t kElementSize = 4;
    static constexpr size_t kSize = 8;
};

// How the local desktop ends the lines of clipboard text.
#ifdef _WIN32
inline constexpr LineEnds kDesktopLineEnds = LineEnds::CrLf;
#else
inline constexpr LineEnds kDesktopLineEnds = LineEnds::Lf;
#endif

class ClipboardMessages {
public:
    explicit ClipboardMessages(ClipboardPort& port) : m_port(port) {}

    void Register(MessageRouter& router);
    void SetCharset(ClipboardCharset charset) { m_charset = charset; }

private:
    void ClipboardText(const MessageFrame& message);

    ClipboardPort& m_port;
    ClipboardCharset m_charset = ClipboardCharset::Windows1252;
};

}  // namespace corvane
