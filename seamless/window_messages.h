// The server's windowing requests (type 1017): in seamless mode each one describes a remote
// top-level window and goes to the window requests. Without seamless mode they are ignored
// entirely.
//
// Receive thread only.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "protocol/message_frame.h"
#include "protocol/message_router.h"
#include "seamless/window_requests.h"

namespace corvane {

class WindowMessages {
public:
    // Whether the session runs in seamless mode. Set before the receive thread starts.
    void SetSeamless(bool seamless) { m_seamless = seamless; }
    // Where the requests go; without it only the text is taken. Set before the receive
    // thread starts.
    void SetRequests(WindowRequests* requests) { m_requests = requests; }

    void Register(MessageRouter& router);

    // The text of the last windowing request taken in seamless mode (at most 511 bytes, so
    // the buffer stays zero-terminated). Valid until the next message.
    [[nodiscard]] std::string_view WindowText() const { return {m_text.data(), m_textLength}; }

private:
    void Windowing(const MessageFrame& message);

    static constexpr size_t kTextBufferSize = 512;
    bool m_seamless = false;
    WindowRequests* m_requests = nullptr;
    std::array<char, kTextBufferSize> m_text{};
    size_t m_textLength = 0;
};

}  // namespace corvane
