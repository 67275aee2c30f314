// The client's side of the clipboard exchange: when the client's windows become active the
// local clipboard's text goes to the server; when they lose activation the server is asked
// for its text, which then comes back as a clipboard message (ClipboardMessages).
//
// It keeps the last text seen on the local clipboard, so a clipboard that holds no text (a
// picture) sends the text before it again. Text that came from the server is never sent back:
// our own change of the local clipboard, or a clipboard manager's copy of it, is not news to
// the server. Nothing happens where the server does not exchange the clipboard or where this
// client joined another user's session (`allowed`).
//
// The user-interface thread calls in; messages go out through the sender thread, a request
// as a plain record (0, 0), text as the record (length, 1), the text and a NUL, deflated.
#pragma once

#include <atomic>
#include <functional>
#include <optional>
#include <string>

#include "clipboard/clipboard_text.h"
#include "protocol/message_sender.h"

namespace corvane {

class ClipboardExchange {
public:
    ClipboardExchange(MessageSender& sender, std::function<bool()> allowed)
        : m_sender(sender), m_allowed(std::move(allowed)) {}

    // The session's character set. Any thread, before or while the windows run.
    void SetCharset(ClipboardCharset charset) { m_charset.store(charset); }

    // The client's windows became active. `localText`: the local clipboard's text (UTF-8)
    // when it holds text that another program put there; nothing when it holds no text or
    // holds what this client put there.
    void Activated(const std::optional<std::string>& localText);
    // The client's windows lost activation to another program.
    void Deactivated();
    // The server's text was put on the local clipboard (UTF-8, as it went there).
    void ServerTextPlaced(const std::string& localText);
    // A rectangle of the screen went to the local clipboard: from now on losing activation no
    // longer asks the server for its text.
    void RectangleCopied() { m_rectCopied = true; }

    // The menu commands: ask the server for its text; send the last local text.
    void RequestServerText();
    void SendLocalText();

    [[nodiscard]] bool Allowed() const { return m_allowed(); }

private:
    // Queues the text; false when nothing went out (empty, or the queue refused it).
    bool SendText(const std::string& localText);

    MessageSender& m_sender;
    std::function<bool()> m_allowed;
    std::atomic<ClipboardCharset> m_charset{ClipboardCharset::Windows1252};
    std::optional<std::string> m_localText;  // the last text of the local clipboard
    bool m_fromServer = false;               // m_localText is the server's own
    bool m_rectCopied = false;
};

}  // namespace corvane
