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

// The exit codes of a client whose user left a login dialog: Cancel, or the close box.
inline constexpr int kExitLoginCancelled = 103;
inline constexpr int kExitLoginClosed = 102;

// What the login dialogs edit, and whether the user confirmed (Connect) or left the dialog,
// and how.
struct LoginForm {
    ClientSettings settings;
    bool confirmed = false;
    int exitCode = kExitLoginCancelled;  // when not confirmed
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

// Asks for one of the login dialogs with `settings` and takes what the user entered: 0 then;
// otherwise, with `settings` unchanged, the exit code the client ends with (the dialog's when
// the user left it, kQuitting when the client is quitting meanwhile).
inline constexpr int kQuitting = -2;
[[nodiscard]] inline int AskLoginDialog(DialogPort& dialogs, std::future<LoginForm> (DialogPort::*dialog)(LoginForm),
                                        ClientSettings& settings, const std::atomic<bool>& quitting) {
    std::future<LoginForm> answer = (dialogs.*dialog)(LoginForm{settings, false, kExitLoginCancelled});
    std::optional<LoginForm> form = AwaitAnswer(answer, quitting);
    if (!form) return kQuitting;
    if (!form->confirmed) return form->exitCode;
    settings = std::move(form->settings);
    return 0;
}

// An answer that is there at once (hosts without a person).
template <typename T>
[[nodiscard]] std::future<T> ReadyAnswer(T value) {
    std::promise<T> promise;
    promise.set_value(std::move(value));
    return promise.get_future();
}

}  // namespace corvane
