#include "ui/secret_text.h"

#include <QByteArray>
#include <QLineEdit>

#include "crypto/secure_wipe.h"

namespace corvane {

std::string SecretText(const QLineEdit& field) {
    QByteArray bytes = field.text().toUtf8();
    std::string text(bytes.constData(), static_cast<size_t>(bytes.size()));
    SecureWipe(bytes.data(), static_cast<size_t>(bytes.size()));
    return text;
}

}  // namespace corvane
