// What a client sends after login, as event-log lines: key events (deciphered with the
// payload key), pointer events, session control, clipboard text and requests, window
// requests, and anything else by type and length.
//
// Pure functions: any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace corvane::testserver {

struct KeyInput {
    uint32_t code = 0;
    uint32_t flags = 0;  // modifier and lock flags
    bool press = false;  // else a release (any other kind is not a KeyInput)
};

struct PointerInput {
    int32_t x = 0;  // frame-buffer place
    int32_t y = 0;
    uint32_t button = 0;
    uint16_t action = 0;
};

struct WindowInput {
    uint32_t code = 0;  // 7002: the user asked to close it; 7010: the user restored it
    uint32_t id = 0;
    uint32_t linkedId = 0;
};

struct ClientEvent {
    std::string line;
    uint32_t sessionControlCode = 0;  // the code of a well-formed session-control message
    bool clipboardRequest = false;    // the client asks for the session's clipboard
    bool clipboardText = false;       // the client sent its clipboard text: `text`
    std::string text;
    std::optional<KeyInput> key;          // a well-formed key record
    std::optional<PointerInput> pointer;  // a well-formed pointer record
    std::optional<WindowInput> window;    // a well-formed window request
};

// `body` holds `length` bytes as the message channel leaves them: the record header in host
// order, the record and payload as they came. Every field is read only when the length
// holds it; a message too short for its record is logged as malformed. A clipboard text
// longer than the line shows carries the CRC-32 of all of it ("crc32=HHHHHHHH").
[[nodiscard]] ClientEvent DescribeClientMessage(const uint8_t* body, size_t length,
                                                std::string_view serverCode);

}  // namespace corvane::testserver
