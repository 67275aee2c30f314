// Session control in both directions: the server's orders (type 1014: compression format,
// exit, disconnect, reconnection and delayed exit switched on and off) and the client's
// requests, which go out through the sender thread.
//
// The orders are handled on the receive thread; Send may be called from any thread and
// returns at once.
#pragma once

#include <cstdint>
#include <functional>

#include "display/display_messages.h"
#include "protocol/message_router.h"
#include "protocol/message_sender.h"
#include "config/status_mailbox.h"
#include "session/failure_report.h"
#include "session/notice_port.h"
#include "session/session_state.h"

namespace corvane {

class SessionControl {
public:
    // `shutDown`: the client's shut-down routine.
    SessionControl(SessionState& state, MessageSender& sender, DisplayMessages& display, StatusMailbox& mailbox,
                   NoticePort& notices, std::function<void()> shutDown);

    void Register(MessageRouter& router);

    // Queues a session-control record with this code and first argument (the other words 0);
    // false when the sender did not take it.
    bool Send(int32_t code, int32_t firstArgument = 0);

private:
    void Order(const uint8_t* record);

    SessionState& m_state;
    MessageSender& m_sender;
    DisplayMessages& m_display;
    StatusMailbox& m_mailbox;
    NoticePort& m_notices;
    std::function<void()> m_shutDown;
};

}  // namespace corvane
