#include "session/hot_keys.h"

#include <utility>

#include "config/log.h"
#include "session/session_control_codes.h"

namespace corvane {

namespace {

constexpr int kDepthForFormatSteps = 24;

}  // namespace

HotKeys::HotKeys(SessionState& state, const FrameBuffer& frameBuffer, HotKeyPort& port, SendControl sendControl)
    : m_state(state), m_frameBuffer(frameBuffer), m_port(port), m_sendControl(std::move(sendControl)) {}

bool HotKeys::Process(uint32_t keyCode, const KeyInput& input) {
    DebugPrint(51, "*** In ProcessKey key = %d Shift = %d, Cntrl = %d, Alt = %d \n", keyCode, input.shift ? 1 : 0,
               input.control ? 1 : 0, input.alt ? 1 : 0);
    // A hot key let go after its Shift is still the hot key: its press stayed in the client,
    // and so do its release and what the release asks for.
    const bool heldHotKey = !input.press && m_heldHotKey != 0 && input.scanCode == m_heldHotKey;
    if (heldHotKey) m_heldHotKey = 0;
    // Without Shift every function key belongs to the session.
    if (!input.shift && !heldHotKey) return false;
    const bool swallowed = Act(input);
    if (swallowed && input.press) m_heldHotKey = input.scanCode;
    if (swallowed && !input.shift) {
        // The Shift release has gone out already: nothing to let through, nothing to wait for.
        m_sendNextKey = false;
        RunPendingActions();
    }
    return swallowed;
}

bool HotKeys::Act(const KeyInput& input) {
    const bool press = input.press;
    switch (input.scanCode) {
        case kScanF1:
            DebugPrint(10, "*** F1 was pressed\n");
            if (!input.control && !press) {
                m_pendingHelp = true;
                m_pendingHelpCollaborator = Collaborator();
                DebugPrint(10, "*** Send Shift\n");
            }
            return true;
        case kScanF2:
        case kScanF3:
            DebugPrint(10, input.scanCode == kScanF2 ? "*** F2 was pressed\n" : "*** F3 was pressed\n");
            // A user who joined the session does not decide who may join.
            if (press && !Collaborator()) Collaboration(input.scanCode == kScanF3, input.control);
            return true;
        case kScanF4:
            if (!press) {
                m_pendingExit = true;
                m_sendNextKey = true;
            }
            return true;
        case kScanF5:
            if (!press) ToggleLocalMode();
            return true;
        case kScanF7:
        case kScanF8:
            // Only a true-colour session has formats to step through.
            if (m_frameBuffer.Geometry().depth != kDepthForFormatSteps) return false;
            if (press) {
                StepCompform(input.scanCode == kScanF8);
            } else {
                (void)m_sendControl(kSessionControlFormatKeysReleased, 0);
            }
            return true;
        case kScanF9:
            if (press) ReverseCursorColours();
            return true;
        case kScanF11:
            // Beyond the classic table: the one way out of a grab that keeps every other key.
            if (press) m_port.ToggleKeyboardGrab();
            return true;
        case kScanF12:
            DebugPrint(10, "*** F12 was pressed\n");
            if (!press) m_pendingStatistics = true;
            return true;
        default:
            return false;
    }
}

bool HotKeys::TakeSendNextKey() { return std::exchange(m_sendNextKey, false); }

void HotKeys::RunPendingActions() {
    if (std::exchange(m_pendingExit, false)) {
        DebugPrint(10, "*** Calling ExitCB\n");
        m_port.OpenExitDialog();
    }
    if (std::exchange(m_pendingHelp, false)) m_port.OpenFunctionDialog(m_pendingHelpCollaborator);
    if (std::exchange(m_pendingStatistics, false)) m_port.ShowStatistics();
}

std::string HotKeys::TitleWith(const char* text) const { return m_state.Caption() + "       " + text; }

void HotKeys::Collaboration(bool enable, bool control) {
    const char* title = nullptr;
    int32_t code = 0;
    if (enable) {
        title = control ? "(Collaboration - Enabled -)" : "(Collaboration input - Enabled -)";
        code = control ? kSessionControlEnableCollaboration : kSessionControlEnableCollaborationInput;
    } else {
        title = control ? "(Collaboration - Disabled -)" : "(Collaboration input - Disabled -)";
        code = control ? kSessionControlDisableCollaboration : kSessionControlDisableCollaborationInput;
    }
    (void)m_sendControl(code, 0);
    // Enabling is announced for a moment; disabling stays in the title as a reminder.
    m_port.ShowHotKeyTitle(TitleWith(title), true, enable ? m_state.Caption() : std::string());
}

void HotKeys::ToggleLocalMode() {
    // Decided by local mode itself: a shared session starts in local mode with the remote
    // pointer still on, and its first Shift+F5 must give the user the session.
    if (!m_state.flags.localMode.load()) {
        m_state.flags.remotePointer.store(false);
        m_state.flags.localMode.store(true);
        m_port.ShowHotKeyTitle(TitleWith("(Local mode: - On -)"), true, {});
    } else {
        m_state.flags.remotePointer.store(true);
        m_state.flags.localMode.store(false);
        m_port.ShowHotKeyTitle(m_state.Caption(), true, {});
    }
    // The Shift release that follows must reach the server even in local mode.
    m_sendNextKey = true;
}

void HotKeys::StepCompform(bool next) {
    if (!m_compformInitialised) {
        m_compform = CompformRequest(m_state.settings.compFormat);
        m_compformInitialised = true;
    }
    m_compform.SetServerVersion(m_state.serverVersion);
    if (next) {
        (void)m_compform.Increment();
    } else {
        (void)m_compform.Decrement();
    }
    m_port.ShowHotKeyTitle(m_compform.RequestTitle(m_state.Caption()), false, {});
    const int format = m_compform.RequestedValue();
    (void)m_sendControl(kSessionControlRequestFormat, format);
    DebugPrint(10, "Client requesting compression format %d\n", format);
}

void HotKeys::ReverseCursorColours() {
    const int colouring = m_state.flags.reverseCursorColor.load() != 0 ? 0 : 1;
    m_state.flags.reverseCursorColor.store(colouring);
    // In local mode the pointer shows the user's own cursor; the next server shape takes the
    // new colouring.
    if (m_state.flags.remotePointer.load()) m_port.SetCursorColouring(colouring);
}

}  // namespace corvane
