// The clipboard glue of the windowed client: the desktop's clipboard (QClipboard) on one
// side, the session's clipboard exchange on the other.
//
// The client's windows as a whole decide: when the application becomes active (from another
// program; moving between its own windows changes nothing) the local clipboard's text goes to
// the session, and when it stops being active the session is asked for its text. The local
// clipboard is read only then, and never on the GUI thread when another program owns it: on
// X11 the read goes to a SelectionReader and its answer comes back as an event, so painting
// never waits for a slow or hung clipboard owner. An answer that arrives after the windows
// lost activation again is dropped, so it never overtakes the request for the server's text.
// What this client put on the clipboard itself is not read back at all.
//
// With the primary selection setting on, the server's text also becomes the primary
// selection, and on activation whichever of the two another program changed last is sent.
//
// GUI thread only.
#pragma once

#include <QClipboard>
#include <QObject>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "session/session_commands.h"
#include "ui/clipboard_selection_reader.h"

namespace corvane {

class ClipboardBridge : public QObject {
    Q_OBJECT

public:
    explicit ClipboardBridge(SessionCommands& commands, QObject* parent = nullptr);
    ~ClipboardBridge() override;

    // The server's clipboard: onto the local one.
    void PutServerText(const std::string& text);
    void PutServerMetafile(const std::vector<uint8_t>& bits);

    // For tests: local reads started, and whether they go through a reader of their own.
    [[nodiscard]] int ReadsStarted() const { return m_readsStarted; }
    [[nodiscard]] bool ReadsAside() const { return m_reader != nullptr; }

private:
    void Activated();
    void Deactivated();
    void ReadFinished(uint64_t generation, std::optional<std::string> text);
    void NoteChange(QClipboard::Mode mode);

    SessionCommands& m_commands;
    std::unique_ptr<SelectionReader> m_reader;  // null where the platform is not X11
    uint64_t m_generation = 0;  // the activation a read belongs to
    bool m_active = false;
    bool m_primary = false;
    QClipboard::Mode m_lastChanged = QClipboard::Clipboard;  // what another program changed last
    int m_readsStarted = 0;
};

}  // namespace corvane
