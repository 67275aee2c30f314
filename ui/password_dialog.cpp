#include "ui/password_dialog.h"

#include <QCloseEvent>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "crypto/secure_wipe.h"
#include "ui/context_help.h"
#include "ui/secret_text.h"

namespace corvane {

namespace {

// The help topics of the login dialogs' controls.
constexpr int kUserTopic = 10400;
constexpr int kPasswordTopic = 10401;
constexpr int kConnectTopic = 10411;
constexpr int kCancelTopic = 10413;
constexpr int kOtherTopic = 2350;
constexpr int kRightClickTopic = 10432;

}  // namespace

PasswordDialog::PasswordDialog(const ClientSettings& settings, LoginMemory& memory, QWidget* parent)
    : QDialog(parent), m_form{settings, false, kExitLoginCancelled}, m_memory(memory), m_messages(BoxesOver(this)) {
    setWindowTitle("Enter Password");
    setModal(true);
    const SessionLoginFields fields = PasswordFields(memory, settings);

    auto* column = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    m_user = new QLineEdit(QString::fromStdString(fields.user), this);
    m_user->setObjectName("user");
    m_user->setMaxLength(kLoginFieldLimit);
    m_password = new QLineEdit(QString::fromStdString(fields.password), this);
    m_password->setObjectName("password");
    m_password->setMaxLength(kLoginFieldLimit);
    m_password->setEchoMode(QLineEdit::Password);
    form->addRow("User name:", m_user);
    form->addRow("Password:", m_password);
    column->addLayout(form);

    auto* row = new QHBoxLayout;
    auto* connectButton = new QPushButton("Connect", this);
    connectButton->setObjectName("connect");
    connectButton->setDefault(true);
    auto* cancel = new QPushButton("Cancel", this);
    cancel->setObjectName("cancel");
    row->addStretch();
    row->addWidget(connectButton);
    row->addWidget(cancel);
    column->addLayout(row);
    connect(connectButton, &QPushButton::clicked, this, &PasswordDialog::Connect);
    connect(cancel, &QPushButton::clicked, this, [this] {
        m_form.exitCode = kExitLoginCancelled;
        reject();
    });

    auto* help = new ContextHelp(this, kOtherTopic, kRightClickTopic);
    help->SetTopic(m_user, kUserTopic);
    help->SetTopic(m_password, kPasswordTopic);
    help->SetTopic(connectButton, kConnectTopic);
    help->SetTopic(cancel, kCancelTopic);

    // The password was refused: it is what the user corrects, so typing replaces it.
    QLineEdit* first = fields.user.empty() ? m_user : m_password;
    first->setFocus();
    first->selectAll();
}

void PasswordDialog::Connect() {
    std::string password = SecretText(*m_password);
    const UserMessage message = AcceptPassword(m_user->text().toStdString(), password, m_form.settings, m_memory);
    SecureWipe(password);
    if (!message.empty()) {
        m_messages(message);
        return;
    }
    m_form.confirmed = true;
    accept();
}

void PasswordDialog::closeEvent(QCloseEvent* event) {
    if (!m_form.confirmed) m_form.exitCode = kExitLoginClosed;
    QDialog::closeEvent(event);
}

}  // namespace corvane
