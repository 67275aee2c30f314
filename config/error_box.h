// The general error box and the socket error report.
//
// Both write the record "ERROR: caption: text" at level 0 and then show a modal box through
// the handler that the user interface installs. Until a handler is installed only the record
// is written. The handler is called on the caller's thread and blocks it until the user
// answers; it must be safe to call from any thread.
#pragma once

#include <functional>
#include <string>

namespace corvane {

using ErrorBoxHandler = std::function<void(const std::string& caption, const std::string& text)>;

void SetErrorBoxHandler(ErrorBoxHandler handler);

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
