// The session's table from message type to handler.
//
// Each capability (display, clipboard, seamless windows, input, session control) registers
// the types it acts on, with the smallest record each needs; the receive loop hands every
// frame to Route. A message too short for its record is logged and dropped before any handler
// reads it, and a type nobody registered ends the call with -1, as a lost connection does.
//
// Registration happens at start-up, before the receive thread runs; Route is called on the
// receive thread only.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "protocol/message_frame.h"

namespace corvane {

using MessageHandler = std::function<void(const MessageFrame&)>;

class MessageRouter {
public:
    // `minimumRecordBytes`: what the handler reads behind the record header at the least. A
    // second registration of a type replaces the first.
    void Register(uint16_t type, size_t minimumRecordBytes, MessageHandler handler);

    // Whether the trace record of each message says a full-screen session is running.
    void SetFullScreenSession(bool fullScreen) { m_fullScreen = fullScreen; }

    // Converts the record to host order and hands the frame to its handler. 0 when the
    // message was handled or dropped; -1 for a type no capability knows.
    [[nodiscard]] int Route(MessageFrame& frame) const;

private:
    struct Entry {
        uint16_t type;
        size_t minimumRecordBytes;
        MessageHandler handler;
    };
    [[nodiscard]] const Entry* Find(uint16_t type) const;

    std::vector<Entry> m_routes;  // a handful of types: a scan beats a map
    bool m_fullScreen = false;
};

}  // namespace corvane
