#include "session/receive_loop.h"

#include "config/log.h"
#include "display/compform_table.h"
#include "platform/process.h"
#include "session/session_control_codes.h"

namespace corvane {

ReceiveLoop::ReceiveLoop(Parts parts, std::function<void()> shutDown, std::function<void()> published)
    : m_parts(parts), m_shutDown(std::move(shutDown)), m_published(std::move(published)) {}

void ReceiveLoop::Run() {
    DebugPrint(1, "Start ProcessMessages Thread\n");
    DebugPrint(1, "ProcessMsgThreadEntry Priority %d\n", platform::CurrentThreadPriority());
    (void)ProcessMessages();
    DebugPrint(1, "ProcessMessages Thread closing\n");
    m_parts.channel.CloseSocket();
}

int ReceiveLoop::ProcessMessages() {
    SessionState& state = m_parts.state;
    SessionFlags& flags = state.flags;
    if (state.settings.useGLPlus) {
        int format = CompformAtIndex(state.settings.compFormat);
        DebugPrint(10, "Client requesting compression format %d\n", format);
        (void)m_parts.control.Send(kSessionControlRequestFormat, format);
    }
    for (;;) {
        if (flags.exit.load()) return 0;
        MessageFrame frame;
        int result = m_parts.channel.ReadMessage(m_parts.display.NextDecodeClass(), frame);
        if (result == 0) result = m_parts.router.Route(frame);
        if (result == 0) flags.messageReceived.store(true, std::memory_order_relaxed);
        if (result != -1 || flags.shuttingDown.load()) continue;

        int retry = Reconnect();
        DebugPrint(10, "bRetryStatus: %d   socket: %d\n", retry, m_parts.channel.Socket());
        if (retry == 0) {
            flags.exit.store(true);
            if (!state.settings.closeDialog) break;
            if (!flags.shuttingDown.load()) {
                m_parts.login.Fail(FailureKind::SessionEnded, "Lost communication with remote host.", 1, {},
                                   "Connection lost");
                return 1;
            }
        }
        // One reconnection per permission: the next loss ends the session unless the server
        // allows reconnecting again.
        flags.autoReconnect.store(false);
    }
    m_parts.notices.Minimise();
    m_shutDown();
    return 0;
}

int ReceiveLoop::Reconnect() {
    SessionFlags& flags = m_parts.state.flags;
    if (!flags.autoReconnect.load() || m_parts.state.collaborationFlag != 0) return 0;
    flags.paused.store(true);
    flags.localMode.store(true);
    // What the user does meanwhile waits: nothing may be written into the new connection's
    // login exchange.
    m_parts.sender.Hold();
    m_parts.notices.ShowReconnecting(true);
    m_parts.channel.CloseSocket();
    m_parts.stream.ReleaseSsl();
    if (!m_parts.quit.SleepUnlessQuitting(1000)) return 0;

    const int result = m_parts.login.LoginAgain();
    if (result != 1) return result;
    flags.localMode.store(false);
    m_published();
    DebugPrint(10, "Start processing messages again...\n");
    flags.paused.store(false);
    m_parts.notices.ShowReconnecting(false);
    m_parts.sender.Resume();
    DebugPrint(10, "Retry worked (s=%d)\n", m_parts.channel.Socket());
    return 1;
}

}  // namespace corvane
