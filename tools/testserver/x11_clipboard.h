// The CLIPBOARD selection of a real X11 display, both ways: Own makes the server the owner
// with a text (programs on the display paste it), Read fetches what the display's owner holds.
// Text travels as the bytes it is (offered as UTF8_STRING and STRING), up to kMaxClipboardText.
//
// Any thread may call Own and Read; a thread of its own answers the display's requests.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

struct xcb_connection_t;
struct xcb_selection_request_event_t;

namespace corvane::testserver {

inline constexpr size_t kMaxClipboardText = 1 << 20;

class X11Clipboard {
  public:
    [[nodiscard]] static std::unique_ptr<X11Clipboard> Open(const std::string& display, std::string& error);
    ~X11Clipboard();
    X11Clipboard(const X11Clipboard&) = delete;
    X11Clipboard& operator=(const X11Clipboard&) = delete;

    // Takes the selection with this text (cut to kMaxClipboardText).
    void Own(std::string text);
    // The selection's text; empty when nobody owns it, the owner has no text, or it does not
    // answer within the wait.
    [[nodiscard]] std::string Read();

  private:
    X11Clipboard() = default;
    void Serve();
    void Answer(const xcb_selection_request_event_t& request);

    xcb_connection_t* m_connection = nullptr;
    uint32_t m_window = 0;
    uint32_t m_clipboard = 0;
    uint32_t m_utf8 = 0;
    uint32_t m_targets = 0;
    uint32_t m_property = 0;
    std::thread m_thread;

    std::mutex m_mutex;
    std::condition_variable m_arrived;
    bool m_owned = false;              // under m_mutex
    std::string m_text;                // under m_mutex: what we own
    std::optional<std::string> m_got;  // under m_mutex: the answer to the last Read
    uint32_t m_readSerial = 0;         // under m_mutex
    bool m_stopping = false;           // under m_mutex
};

}  // namespace corvane::testserver
