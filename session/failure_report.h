// The one place that decides how a failure reaches the user: the log record, the progress
// window's error line, the window's state, the alert and the pause that lets a person read it.
// Call sites say what kind of failure they met; this function says what the user sees.
//
// Session thread or receive thread (the pause blocks the caller only, never a window).
#pragma once

#include <string>

#include "config/status_mailbox.h"
#include "session/notice_port.h"

namespace corvane {

enum class FailureKind {
    // The client ends on it: error line, the progress window offers Exit, alert, a pause.
    Fatal,
    // The same, but the caller still has something to do before it ends (no pause yet).
    FatalNoPause,
    // The session cannot go on as it was but the client stays (a reconnection that failed):
    // error line on the progress window, shown, alert, a pause.
    SessionNotice,
    // A login attempt was refused and another may follow: error line and alert, no pause.
    LoginAttempt,
    // A setting the login cannot use; the next attempt asks again: error line, a short pause.
    UnusableSetting,
    // The session ended or was lost while the client shows it: the windows are minimised, an
    // alert, and the notice on the progress window, whose Exit ends the client.
    SessionEnded,
};

struct FailureReport {
    FailureKind kind = FailureKind::Fatal;
    std::string text;       // what the user reads
    int logLevel = 0;       // the level of its log record; negative: the caller has logged it
    std::string logText;    // the log record's text, when it differs from `text`
    std::string title;      // SessionEnded: the notice's title
};

// How long a failure stays in front of the user before the client goes on (or ends).
inline constexpr int kFailurePauseMilliseconds = 10000;
inline constexpr int kSettingPauseMilliseconds = 3000;

void ReportFailure(const FailureReport& failure, StatusMailbox& mailbox, NoticePort& notices);

}  // namespace corvane
