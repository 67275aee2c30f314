// The Enter Password dialog, shown after the server refused a login: the user name and the
// password only. Connect checks and takes them (the password in its stored, scrambled form);
// Cancel and the close box leave the dialog with the client's exit codes for each.
//
// User-interface thread only.
#pragma once

#include <QDialog>

#include "session/dialog_port.h"
#include "session/login_form_rules.h"
#include "ui/user_message_box.h"

class QCloseEvent;
class QLineEdit;

namespace corvane {

class PasswordDialog : public QDialog {
public:
    // `memory` holds the values last entered and outlives the dialog.
    PasswordDialog(const ClientSettings& settings, LoginMemory& memory, QWidget* parent);

    // The answer, once the dialog has finished.
    [[nodiscard]] LoginForm Form() const { return m_form; }
    void SetMessageSink(MessageSink sink) { m_messages = std::move(sink); }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void Connect();

    LoginForm m_form;
    LoginMemory& m_memory;
    MessageSink m_messages;
    QLineEdit* m_user = nullptr;
    QLineEdit* m_password = nullptr;
};

}  // namespace corvane
