// The message boxes of the login and properties dialogs. A dialog shows its messages through
// a sink, so that tests can read them instead of answering a box.
//
// User-interface thread only.
#pragma once

#include <functional>

#include "session/login_form_rules.h"

class QWidget;

namespace corvane {

using MessageSink = std::function<void(const UserMessage& message)>;

// A modal warning box over `parent` with the message's title and text.
void ShowUserMessage(QWidget* parent, const UserMessage& message);

// A sink that shows boxes over `parent`.
[[nodiscard]] MessageSink BoxesOver(QWidget* parent);

}  // namespace corvane
