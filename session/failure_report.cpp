#include "session/failure_report.h"

#include "config/log.h"

namespace corvane {

void ReportFailure(const FailureReport& failure, StatusMailbox& mailbox, NoticePort& notices) {
    if (failure.logLevel >= 0) {
        DebugPrint(failure.logLevel, "%s\n", (failure.logText.empty() ? failure.text : failure.logText).c_str());
    }
    switch (failure.kind) {
        case FailureKind::Fatal:
        case FailureKind::FatalNoPause:
            mailbox.PostError(failure.text);
            notices.ShowFatalError();
            notices.ErrorBeep();
            if (failure.kind == FailureKind::Fatal) notices.PauseForUser(kFailurePauseMilliseconds);
            break;
        case FailureKind::SessionNotice:
            mailbox.PostError(failure.text);
            notices.ShowProgress(true);
            notices.ErrorBeep();
            notices.PauseForUser(kFailurePauseMilliseconds);
            break;
        case FailureKind::LoginAttempt:
            mailbox.Post(kStatusError, failure.text, true);
            notices.ErrorBeep();
            break;
        case FailureKind::UnusableSetting:
            mailbox.PostError(failure.text);
            notices.PauseForUser(kSettingPauseMilliseconds);
            break;
        case FailureKind::SessionEnded:
            notices.Minimise();
            notices.ErrorBeep();
            notices.ShowSessionEndNotice(failure.title, failure.text);
            break;
    }
}

}  // namespace corvane
