// The display's messages as the session routes them: the display's handlers in a router of
// their own, and one call that reads a frame from the channel and routes it.
#pragma once

#include "display/display_messages.h"
#include "protocol/message_channel.h"
#include "protocol/message_router.h"

namespace corvane::test {

class DisplayRig : public DisplayMessages {
public:
    DisplayRig(MessageChannel& channel, FrameBuffer& frameBuffer, DisplayEvents& events,
               JfifDecodeFunction decode = nullptr)
        : DisplayMessages(frameBuffer, events, decode), m_channel(channel) {
        Register(m_router);
    }

    // What the receive loop does with one message: 0 handled or dropped, -1 lost or unknown.
    int ProcessMessage() {
        MessageFrame frame;
        if (m_channel.ReadMessage(NextDecodeClass(), frame) != 0) return -1;
        return m_router.Route(frame);
    }

    [[nodiscard]] MessageRouter& Router() { return m_router; }

private:
    MessageChannel& m_channel;
    MessageRouter m_router;
};

}  // namespace corvane::test
