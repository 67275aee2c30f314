// The general error box and the socket error report.
//
// Both write the record "ERROR: caption: text" at level 0 and then show a box through the
// handlers that the user interface installs. Until a handler is installed only the record is
// written. Only a thread marked as one that may wait for a person (the session thread of the
// start-up and login) waits until the user answers; on every other thread (receive, sender,
// decoders) the box is posted and the call returns at once. Handlers must be safe to call
// from any thread.
#pragma once

#include <functional>
#include <string>

namespace corvane {

using ErrorBoxHandler = std::function<void(const std::string& caption, const std::string& text)>;

void SetErrorBoxHandler(ErrorBoxHandler handler);

// Marks the calling thread as one that may wait for a person's answer (for as long as it
// runs), or takes the mark away.
void SetThreadMayWaitForPerson(bool mayWait);
[[nodiscard]] bool ThreadMayWaitForPerson();

void ShowErrorBox(const std::string& caption, const std::string& text);

// The same record, but the box is handed to the post handler, which returns at once (the box
// shows later on the user-interface thread). For worker threads, which must not wait for a
// person. Until a post handler is installed only the record is written.
void SetPostErrorBoxHandler(ErrorBoxHandler handler);
void PostErrorBox(const std::string& caption, const std::string& text);

// The Winsock-style error code for an errno value (ECONNRESET -> 10054). An errno with no
// counterpart is returned unchanged, and so reads as an unknown error.
[[nodiscard]] int WinsockCodeFromErrno(int err);

// "WSAECONNRESET" for 10054; "UNKNOWN ERROR # n" for a code the table lacks.
[[nodiscard]] std::string WinsockErrorName(int code);

// Reports the last socket error (errno) under the caption: record and box.
void ReportSocketError(const std::string& caption);
void ReportSocketErrorCode(const std::string& caption, int winsockCode);

}  // namespace corvane
