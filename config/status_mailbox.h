// The status mailbox: how the session and configuration code report progress and errors to
// the progress window.
//
// Any thread posts; the progress window takes the latest post every 100 ms. A later post
// replaces one not yet taken. Posting and taking may happen on any threads at once.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

namespace corvane {

enum StatusCode : int32_t {
    kStatusInitializing = 10001,
    kStatusConnecting = 10003,
    kStatusLoggingOn = 10004,
    kStatusAuthentication = 10006,
    kStatusError = 10007,
    kStatusClearError = 10008,
    kStatusClearAuthentication = 10009,
    kStatusClearAll = 10011,
};

struct StatusMessage {
    int32_t code = 0;
    std::string text;    // at most kStatusTextLimit bytes
    bool quiet = false;  // an error shown without the Exit button
};

class StatusMailbox {
public:
    // The text is kept to 255 bytes, as the progress window's line holds no more.
    static constexpr size_t kStatusTextLimit = 255;

    void Post(int32_t code, std::string_view text, bool quiet = false);
    // An error line (code 10007).
    void PostError(std::string_view text) { Post(kStatusError, text); }

    // The pending message, which is then cleared (its code set back to 0); nothing when no
    // message is pending.
    [[nodiscard]] std::optional<StatusMessage> Take();

    // The last message posted, whether or not it was taken. For tests and diagnostics.
    [[nodiscard]] StatusMessage Last() const;

private:
    mutable std::mutex m_mutex;
    StatusMessage m_last;
    bool m_pending = false;
};

}  // namespace corvane
