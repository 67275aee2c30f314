#include "ui/user_message_box.h"

#include <QMessageBox>
#include <QString>

namespace corvane {

void ShowUserMessage(QWidget* parent, const UserMessage& message) {
    // The texts break their lines as the Windows of their origin did; a box wants plain ones.
    QString text = QString::fromStdString(message.text);
    text.replace("\r\n", "\n");
    QMessageBox::warning(parent, QString::fromStdString(message.title), text);
}

MessageSink BoxesOver(QWidget* parent) {
    return [parent](const UserMessage& message) { ShowUserMessage(parent, message); };
}

}  // namespace corvane
