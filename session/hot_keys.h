// The hot keys: Shift with a function key controls the client instead of reaching the
// server (help, collaboration on and off, exit, local mode, compression-format steps, cursor
// colours, statistics). Every translated key passes through Process before it is sent; what
// would take the focus from the main window waits until the next Shift event has been sent,
// so the server always sees the Shift release first.
//
// Keys are told by scan code, so the hot keys work in both translation modes and with any
// layout. User-interface thread only (the thread that handles the focused window's keys).
#pragma once

#include <cstdint>
#include <functional>

#include "display/compform_request.h"
#include "display/frame_buffer.h"
#include "input/keyboard_translator.h"
#include "session/hot_key_port.h"
#include "session/session_state.h"

namespace corvane {

// The function keys' scan codes. F6 and F10 are no hot keys.
enum HotKeyScanCode : uint8_t {
    kScanF1 = 0x3B,
    kScanF2 = 0x3C,
    kScanF3 = 0x3D,
    kScanF4 = 0x3E,
    kScanF5 = 0x3F,
    kScanF7 = 0x41,
    kScanF8 = 0x42,
    kScanF9 = 0x43,
    kScanF11 = 0x57,
    kScanF12 = 0x58,
};

class HotKeys {
public:
    // Queues a session-control record (code, first argument).
    using SendControl = std::function<bool(int32_t code, int32_t argument)>;

    // `frameBuffer` tells the session's colour depth (the format steps need 24 bits).
    HotKeys(SessionState& state, const FrameBuffer& frameBuffer, HotKeyPort& port, SendControl sendControl);

    // Whether the translated key `keyCode` stays in the client (the caller then sends
    // nothing and runs no pending action).
    [[nodiscard]] bool Process(uint32_t keyCode, const KeyInput& input);

    // The next key is sent even in local mode (the Shift release after a hot key); true once.
    [[nodiscard]] bool TakeSendNextKey();

    // After a Shift event was sent: the exit dialog, the function dialog and the statistics
    // window asked for, each once, in that order.
    void RunPendingActions();

private:
    // The hot-key table: what the key does with Shift held; whether it stays in the client.
    bool Act(const KeyInput& input);
    [[nodiscard]] bool Collaborator() const { return m_state.collaborationFlag != 0; }
    // "<normal title>       <text>"
    [[nodiscard]] std::string TitleWith(const char* text) const;
    void Collaboration(bool enable, bool control);
    void ToggleLocalMode();
    void StepCompform(bool next);
    void ReverseCursorColours();

    SessionState& m_state;
    const FrameBuffer& m_frameBuffer;
    HotKeyPort& m_port;
    SendControl m_sendControl;
    CompformRequest m_compform;
    bool m_compformInitialised = false;
    uint8_t m_heldHotKey = 0;  // the scan code of a hot key pressed and not yet released
    bool m_sendNextKey = false;
    bool m_pendingExit = false;
    bool m_pendingHelp = false;
    bool m_pendingHelpCollaborator = false;
    bool m_pendingStatistics = false;
};

}  // namespace corvane
