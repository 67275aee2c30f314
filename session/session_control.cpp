#include <cstring>

#include "config/log.h"
#include "display/compform_table.h"
#include "display/frame_rate.h"
#include "session/session_control.h"
#include "session/session_control_codes.h"

namespace corvane {

SessionControl::SessionControl(SessionState& state, MessageSender& sender, DisplayMessages& display,
                               StatusMailbox& mailbox, NoticePort& notices, std::function<void()> shutDown)
    : m_state(state),
      m_sender(sender),
      m_display(display),
      m_mailbox(mailbox),
      m_notices(notices),
      m_shutDown(std::move(shutDown)) {}

void SessionControl::Register(MessageRouter& router) {
    router.Register(ZRPPROTOCOL_MH_MESSSCTL, kSessionControlRecordSize, [this](const MessageFrame& message) {
        DebugPrint(5, "Received Session Control request\n");
        Order(message.record);
    });
}

bool SessionControl::Send(int32_t code, int32_t firstArgument) {
    uint8_t record[kSessionControlRecordSize] = {};
    StoreField<uint32_t>(record, 0, static_cast<uint32_t>(code));
    StoreField<uint32_t>(record, 4, static_cast<uint32_t>(firstArgument));
    DebugPrint(10, "Sending Message type %d (SCTL) to %d\n", ZRPPROTOCOL_MH_MESSSCTL, m_sender.Socket());
    const bool queued = m_sender.Post(ZRPPROTOCOL_MH_MESSSCTL, record, sizeof record);
    DebugPrint(1, "Wrote Sctl\n");
    return queued;
}

void SessionControl::Order(const uint8_t* record) {
    int32_t code = static_cast<int32_t>(LoadField<uint32_t>(record, 0));
    int32_t argument = static_cast<int32_t>(LoadField<uint32_t>(record, 4));
    switch (code) {
        case kSessionControlServerFormat: {
            m_display.SetCurrentCompform(argument);
            DebugPrint(10, "Server sending compression format %d\n", argument);
            m_notices.SetTitle(m_state.Caption() + "  (New CF " + CompformName(argument) + ")" +
                            (m_state.flags.localMode.load() ? kLocalModeTitleSuffix : ""));
            break;
        }
        case kSessionControlExit:
        case kSessionControlDisconnect: {
            bool exit = code == kSessionControlExit;
            DebugPrint(1, exit ? "Received SCtl request sesscntl=%d  Exit.\n"
                               : "Received SCtl request sesscntl=%d  Disconnect.\n",
                       code);
            if (!m_state.settings.closeDialog) {
                m_notices.Minimise();
                m_shutDown();
                break;
            }
            m_state.flags.exit.store(true);
            m_state.flags.shuttingDown.store(true);
            const char* line = exit ? "Session closed by server." : "Session disconnected by server.";
            ReportFailure(FailureReport{FailureKind::SessionEnded, line, -1, {},
                                        exit ? "Connection closed" : "Connection disconnected"},
                          m_mailbox, m_notices);
            break;
        }
        case kSessionControlEnableReconnect:
            m_state.flags.autoReconnect.store(true);
            DebugPrint(1, "Received SCtl request sesscntl=%d  Enable auto-reconnection.\n", code);
            break;
        case kSessionControlDisableReconnect:
            m_state.flags.autoReconnect.store(false);
            DebugPrint(1, "Received SCtl request sesscntl=%d  Disable auto-reconnection.\n", code);
            break;
        case kSessionControlEnableDelayedExit:
            m_state.flags.delayedExit.store(true);
            DebugPrint(1, "Received SCtl request sesscntl=%d  Enable delayed-exit.\n", code);
            break;
        case kSessionControlDisableDelayedExit:
            m_state.flags.delayedExit.store(false);
            DebugPrint(1, "Received SCtl request sesscntl=%d  Disable delayed-exit.\n", code);
            break;
        default:
            break;
    }
}

}  // namespace corvane
