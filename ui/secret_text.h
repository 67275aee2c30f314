// The text of a field that holds a secret (a password, a server code), as UTF-8, without
// leaving a converted copy behind in freed memory.
#pragma once

#include <string>

class QLineEdit;

namespace corvane {

[[nodiscard]] std::string SecretText(const QLineEdit& field);

}  // namespace corvane
