// The dialogs the session thread asks a person for. Each is asked with a value (the form the
// dialog edits) and answered through a future that the user interface fulfils on its own
// thread; the asker waits with AwaitAnswer, which gives up when the client is quitting, so no
// thread ever blocks on another thread's event loop.
//
// Called from the session thread only (start-up and login); the receive and decoder threads
// never ask for a dialog.
#pragma once

#include <atomic>
#include <chrono>
#include <future>
#include <optional>

#include "config/client_settings.h"
#include "session/monitor_layout.h"
#include "session/session_table.h"

namespace corvane {

// What the login dialogs edit, and whether the user confirmed (Connect) or cancelled.
struct LoginForm {
    ClientSettings settings;
    bool confirmed = false;
};

class DialogPort {
public:
    virtual ~DialogPort() = default;

    [[nodiscard]] virtual std::future<LoginForm> SessionLoginDialog(LoginForm form) = 0;
    [[nodiscard]] virtual std::future<LoginForm> EnterPasswordDialog(LoginForm form) = 0;
    [[nodiscard]] virtual std::future<LoginForm> ProjectIdentificationDialog(LoginForm form) = 0;
    // The Session Control dialog over the disconnected sessions; the chosen session id (2: a
    // new session).
    [[nodiscard]] virtual std::future<int> SessionControlDialog(SessionTable sessions) = 0;
    // The monitors a full-screen session may cover.
    [[nodiscard]] virtual std::future<MonitorModel> Monitors() = 0;
};

// Waits for a dialog's answer; nothing when `quitting` was set first (the answer that may
// still come is dropped).
template <typename T>
[[nodiscard]] std::optional<T> AwaitAnswer(std::future<T>& answer, const std::atomic<bool>& quitting) {
    while (answer.wait_for(std::chrono::milliseconds(20)) != std::future_status::ready) {
        if (quitting.load()) return std::nullopt;
    }
    return answer.get();
}

// Asks for one of the login dialogs with `settings` and takes what the user entered; false,
// with `settings` unchanged, when the user cancelled or the client is quitting.
inline bool AskLoginDialog(DialogPort& dialogs, std::future<LoginForm> (DialogPort::*dialog)(LoginForm),
                           ClientSettings& settings, const std::atomic<bool>& quitting) {
    std::future<LoginForm> answer = (dialogs.*dialog)(LoginForm{settings, false});
    std::optional<LoginForm> form = AwaitAnswer(answer, quitting);
    if (!form || !form->confirmed) return false;
    settings = std::move(form->settings);
    return true;
}

// An answer that is there at once (hosts without a person).
template <typename T>
[[nodiscard]] std::future<T> ReadyAnswer(T value) {
    std::promise<T> promise;
    promise.set_value(std::move(value));
    return promise.get_future();
}

}  // namespace corvane
