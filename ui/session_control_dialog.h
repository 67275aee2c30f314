// The Session Control dialog: the user's disconnected sessions, to resume one or start a new
// one. A countdown resumes the last listed session when the user does nothing; it runs once
// per process, so a dialog shown again waits for the user.
//
// User-interface thread only.
#pragma once

#include <chrono>

#include "session/session_table.h"

class QWidget;

namespace corvane {

struct SessionControlTiming {
    std::chrono::milliseconds tick{1000};        // one step of the countdown
    std::chrono::milliseconds closeDelay{1000};  // the chosen line stays in view this long
};

// Runs the modal dialog and returns the chosen session id: kNewSessionId for "New Session".
// Closing the dialog without a choice returns `choiceSoFar`.
[[nodiscard]] int RunSessionControlDialog(const SessionTable& sessions, QWidget* parent,
                                          int choiceSoFar = kNewSessionId, SessionControlTiming timing = {});

// Lets the countdown run again, as in a fresh process. For tests.
void ResetSessionControlCountdown();

}  // namespace corvane
