// The ProcessMessages thread: it reads every server message and hands it to the router, and
// when the connection is lost it reconnects if the server allowed it, ends the client, or
// leaves the notice of the lost connection on screen.
//
// Run is the receive thread's whole life; nothing else here is called from another thread.
#pragma once

#include <functional>

#include "display/display_messages.h"
#include "protocol/message_channel.h"
#include "protocol/message_router.h"
#include "protocol/message_sender.h"
#include "protocol/stream_connection.h"
#include "session/login_sequence.h"
#include "session/notice_port.h"
#include "session/quit_signal.h"
#include "session/session_control.h"
#include "session/session_state.h"

namespace corvane {

class ReceiveLoop {
public:
    struct Parts {
        SessionState& state;
        StreamConnection& stream;
        MessageChannel& channel;
        MessageRouter& router;
        DisplayMessages& display;
        MessageSender& sender;
        SessionControl& control;
        LoginSequence& login;
        NoticePort& notices;
        QuitSignal& quit;
    };
    // `shutDown`: the client's shut-down routine; `published`: the session state changed (a
    // reconnection logged in again) and the windows' facts must follow.
    ReceiveLoop(Parts parts, std::function<void()> shutDown, std::function<void()> published);

    // The thread's entry point: the loop, then the socket is closed.
    void Run();

private:
    // 0 when the session ended, 1 when it stopped at the notice of a lost connection.
    [[nodiscard]] int ProcessMessages();
    // 1 when the session runs again on a new socket, -1 when the attempt reached the server but
    // failed, 0 when no attempt was allowed or the session list could not be read.
    [[nodiscard]] int Reconnect();

    Parts m_parts;
    std::function<void()> m_shutDown;
    std::function<void()> m_published;
};

}  // namespace corvane
