// Session control in both directions: the server's orders and the client's requests.
#include <cstring>

#include "config/log.h"
#include "display/compform_table.h"
#include "display/frame_rate.h"
#include "session/display_client_app.h"
#include "session/session_control_codes.h"

namespace corvane {

bool CDisplayClientApp::SendSessionControl(int32_t code, int32_t firstArgument) {
    uint8_t record[kSessionControlRecordSize] = {};
    StoreField<uint32_t>(record, 0, static_cast<uint32_t>(code));
    StoreField<uint32_t>(record, 4, static_cast<uint32_t>(firstArgument));
    DebugPrint(10, "Sending Message type %d (SCTL) to %d\n", ZRPPROTOCOL_MH_MESSSCTL, m_channel.Socket());
    const bool queued = m_sender.Post(ZRPPROTOCOL_MH_MESSSCTL, record, sizeof record);
    DebugPrint(1, "Wrote Sctl\n");
    return queued;
}

void CDisplayClientApp::SessionControl(const uint8_t* record) {
    int32_t code = static_cast<int32_t>(LoadField<uint32_t>(record, 0));
    int32_t argument = static_cast<int32_t>(LoadField<uint32_t>(record, 4));
    switch (code) {
        case kSessionControlServerFormat: {
            m_display.SetCurrentCompform(argument);
            DebugPrint(10, "Server sending compression format %d\n", argument);
            m_notices.SetTitle(BaseTitle() + "  (New CF " + CompformName(argument) + ")" +
                            (m_localMode.load() ? kLocalModeTitleSuffix : ""));
            break;
        }
        case kSessionControlExit:
        case kSessionControlDisconnect: {
            bool exit = code == kSessionControlExit;
            DebugPrint(1, exit ? "Received SCtl request sesscntl=%d  Exit.\n"
                               : "Received SCtl request sesscntl=%d  Disconnect.\n",
                       code);
            if (!m_settings.closeDialog) {
                m_notices.Minimise();
                ShutDown();
                break;
            }
            m_exitFlag.store(true);
            m_shuttingDown.store(true);
            m_notices.Minimise();
            m_notices.ErrorBeep();
            m_notices.ShowSessionEndNotice(exit ? "Connection closed" : "Connection disconnected",
                                        exit ? "Session closed by server." : "Session disconnected by server.");
            break;
        }
        case kSessionControlEnableReconnect:
            m_autoReconnect.store(true);
            DebugPrint(1, "Received SCtl request sesscntl=%d  Enable auto-reconnection.\n", code);
            break;
        case kSessionControlDisableReconnect:
            m_autoReconnect.store(false);
            DebugPrint(1, "Received SCtl request sesscntl=%d  Disable auto-reconnection.\n", code);
            break;
        case kSessionControlEnableDelayedExit:
            m_delayedExit.store(true);
            DebugPrint(1, "Received SCtl request sesscntl=%d  Enable delayed-exit.\n", code);
            break;
        case kSessionControlDisableDelayedExit:
            m_delayedExit.store(false);
            DebugPrint(1, "Received SCtl request sesscntl=%d  Disable delayed-exit.\n", code);
            break;
        default:
            break;
    }
}

}  // namespace corvane
