#include "ui/session_login_dialog.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "session/window_commands.h"
#include "ui/properties_sheet.h"
#include "ui/secret_text.h"

namespace corvane {

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

QLineEdit* Field(QWidget* parent, const char* name, bool secret = false) {
    auto* field = new QLineEdit(parent);
    field->setObjectName(name);
    field->setMaxLength(kLoginFieldLimit);
    if (secret) field->setEchoMode(QLineEdit::Password);
    return field;
}

}  // namespace

LoginDialog::LoginDialog(const ClientSettings& settings, const MonitorModel& monitors, std::vector<HostEntry> hosts,
                         LoginMemory& memory, QWidget* parent)
    : QDialog(parent),
      m_form{settings, false, kExitLoginCancelled},
      m_monitors(monitors),
      m_hosts(std::move(hosts)),
      m_memory(memory),
      m_messages(BoxesOver(this)) {
    setWindowTitle(QString("Session Login - %1").arg(kVersionText));
    setModal(true);

    m_user = Field(this, "user");
    m_password = Field(this, "password", true);
    m_server = new QComboBox(this);
    m_server->setObjectName("server");
    m_server->setEditable(true);
    for (const HostEntry& host : m_hosts) m_server->addItem(Q(host.address));
    m_serverName = new QLabel(this);
    m_serverName->setObjectName("serverName");
    m_serverName->setTextFormat(Qt::PlainText);
    m_port = Field(this, "port");
    m_sessionId = Field(this, "sessionId");
    m_serverCode = Field(this, "serverCode", true);
    m_bandwidth = new QComboBox(this);
    m_bandwidth->setObjectName("bandwidth");
    m_width = new QComboBox(this);
    m_width->setObjectName("width");
    for (const SessionSize& size : kSessionSizes) m_width->addItem(size.text);
    m_width->addItem(kFullScreenSizeText);
    m_height = Field(this, "height");
    m_displayMode = new QComboBox(this);
    m_displayMode->setObjectName("displayMode");
    for (const DisplayMode& mode : kDisplayModes) m_displayMode->addItem(mode.text);
    m_fullScreen = new QCheckBox("Use Full-Screen Mode", this);
    m_fullScreen->setObjectName("fullScreen");
    m_monitorsLabel = new QLabel("Monitors:", this);
    m_monitorsLabel->setObjectName("monitorsLabel");
    for (int i = 0; i < kSelectableMonitors; ++i) {
        m_monitorBoxes[static_cast<size_t>(i)] = new QCheckBox(QString::number(i + 1), this);
        m_monitorBoxes[static_cast<size_t>(i)]->setObjectName(QString("monitor%1").arg(i + 1));
    }
    m_seamless = new QCheckBox("Use Seamless Windowing Mode", this);
    m_seamless->setObjectName("seamless");

    auto* grid = new QGridLayout;
    int row = 0;
    const auto addRow = [&](const char* label, QWidget* field, QWidget* beside = nullptr) {
        auto* text = new QLabel(label, this);
        grid->addWidget(text, row, 0);
        grid->addWidget(field, row, 1);
        if (beside != nullptr) grid->addWidget(beside, row, 2);
        ++row;
        return text;
    };
    addRow("User name:", m_user);
    addRow("Password:", m_password);
    addRow("Server:", m_server, m_serverName);
    addRow("Port:", m_port);
    addRow("Session I.D.:", m_sessionId);
    addRow("Server code:", m_serverCode);
    addRow("Bandwidth:", m_bandwidth);
    m_widthLabel = addRow("Session width:", m_width);
    m_heightLabel = addRow("Session height:", m_height);
    addRow("Display mode:", m_displayMode);
    auto* column = new QVBoxLayout(this);
    column->addLayout(grid);
    column->addWidget(m_fullScreen);
    auto* monitorRow = new QHBoxLayout;
    monitorRow->addWidget(m_monitorsLabel);
    for (QCheckBox* box : m_monitorBoxes) monitorRow->addWidget(box);
    monitorRow->addStretch();
    column->addLayout(monitorRow);
    column->addWidget(m_seamless);

    auto* buttons = new QHBoxLayout;
    auto* connectButton = new QPushButton("Connect", this);
    connectButton->setObjectName("connect");
    connectButton->setDefault(true);
    auto* advanced = new QPushButton("Advanced", this);
    advanced->setObjectName("advanced");
    auto* cancel = new QPushButton("Cancel", this);
    cancel->setObjectName("cancel");
    buttons->addWidget(connectButton);
    buttons->addWidget(advanced);
    buttons->addWidget(cancel);
    column->addLayout(buttons);

    m_help = new ContextHelp(this, 2350, 10432);
    const std::pair<QWidget*, int> topics[] = {
        {m_user, 10400},     {m_password, 10401},   {m_server, 10402},    {m_port, 10405},
        {m_sessionId, 10406}, {m_serverCode, 10407}, {m_bandwidth, 10408}, {m_width, 10409},
        {m_height, 10409},   {m_displayMode, 10410}, {connectButton, 10411}, {advanced, 10412},
        {cancel, 10413},
    };
    for (const auto& [control, topic] : topics) m_help->SetTopic(control, topic);

    connect(m_width, &QComboBox::activated, this, &LoginDialog::WidthChosen);
    connect(m_server, &QComboBox::activated, this, &LoginDialog::ServerChosen);
    connect(m_displayMode, &QComboBox::activated, this, &LoginDialog::DisplayModeChosen);
    connect(m_fullScreen, &QCheckBox::clicked, this, &LoginDialog::ShowFullScreen);
    connect(m_seamless, &QCheckBox::clicked, this, &LoginDialog::SeamlessToggled);
    for (int i = 0; i < kSelectableMonitors; ++i) {
        connect(m_monitorBoxes[static_cast<size_t>(i)], &QCheckBox::clicked, this,
                [this, i](bool on) { m_monitorFlags[static_cast<size_t>(i)] = on ? 1 : 0; });
    }
    connect(connectButton, &QPushButton::clicked, this, &LoginDialog::Connect);
    connect(advanced, &QPushButton::clicked, this, [this] {
        if (m_advanced) {
            m_advanced(*this, m_form.settings);
            return;
        }
        PropertiesSheet sheet(m_form.settings, ConfiguredPort(), [this](int port) { SetPortText(QString::number(port)); },
                              this);
        (void)sheet.exec();  // each page stored what it showed when the user left it
    });
    connect(cancel, &QPushButton::clicked, this, [this] {
        m_form.exitCode = kExitLoginCancelled;
        reject();
    });

    Fill(memory.formEntered ? LaterShowingFields(memory, settings) : FirstShowingFields(settings, m_hosts));
    adjustSize();
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        move(screen->availableGeometry().center() - rect().center());
    }
    (m_user->text().isEmpty() ? m_user : m_password)->setFocus();
}

void LoginDialog::Fill(const SessionLoginFields& f) {
    m_user->setText(Q(f.user));
    m_password->setText(Q(f.password));
    m_server->setEditText(Q(f.serverText));
    m_serverName->setText(Q(f.serverName));
    m_port->setText(Q(f.port));
    m_sessionId->setText(Q(f.sessionId));
    m_serverCode->setText(Q(f.serverCode));
    m_bandwidth->clear();
    for (const std::string& entry : BandwidthEntries(f.bandwidth)) m_bandwidth->addItem(Q(entry));
    m_bandwidth->setCurrentIndex(f.bandwidth < m_bandwidth->count() ? f.bandwidth : 1);
    int sizeIndex = SizeIndexOf(f.width);
    if (sizeIndex < 0) {
        // A size the list does not offer (from a file) stays what it is.
        m_width->addItem(Q(f.width));
        sizeIndex = m_width->count() - 1;
    }
    m_width->setCurrentIndex(sizeIndex);
    m_height->setText(Q(f.height));
    m_displayMode->setCurrentIndex(f.displayMode);
    m_monitorFlags = f.monitors;
    m_seamless->setChecked(f.seamless);
    m_fullScreen->setEnabled(!f.seamless);
    ShowFullScreen(f.fullScreen || f.seamless);
}

SessionLoginFields LoginDialog::Fields() const {
    SessionLoginFields f;
    f.user = m_user->text().toStdString();
    f.password = SecretText(*m_password);
    f.serverText = m_server->currentText().toStdString();
    f.serverName = m_serverName->text().toStdString();
    f.port = m_port->text().trimmed().toStdString();
    f.sessionId = m_sessionId->text().trimmed().toStdString();
    f.serverCode = SecretText(*m_serverCode);
    f.bandwidth = m_bandwidth->currentIndex();
    f.width = m_width->currentText().toStdString();
    f.height = m_height->text().trimmed().toStdString();
    f.displayMode = m_displayMode->currentIndex();
    f.fullScreen = m_fullScreen->isChecked();
    f.seamless = m_seamless->isChecked();
    f.monitors = m_monitorFlags;
    return f;
}

void LoginDialog::WidthChosen(int index) {
    if (index >= 0 && index < static_cast<int>(kSessionSizes.size())) {
        m_height->setText(QString::number(kSessionSizes[static_cast<size_t>(index)].height));
        return;
    }
    if (index != kFullScreenSizeIndex) return;
    if (FullScreenWidthSupported(m_monitors.virtualWidth)) {
        m_height->setText(kFullScreenSizeText);
        return;
    }
    m_width->setCurrentIndex(kDefaultSizeIndex);
    m_height->setText(QString::number(kSessionSizes[kDefaultSizeIndex].height));
    m_messages(IncompatibleScreenSizeMessage());
}

void LoginDialog::ServerChosen(int index) {
    if (index < 0 || index >= static_cast<int>(m_hosts.size())) {
        m_serverName->clear();
        m_serverCode->clear();
        m_port->setText(QString::number(kDefaultServerPort));
        return;
    }
    const HostEntry& host = m_hosts[static_cast<size_t>(index)];
    m_serverName->setText(Q(host.name));
    m_serverCode->setText(Q(host.code));
    m_port->setText(QString::number(host.port));
}

void LoginDialog::DisplayModeChosen(int index) {
    const DisplayModeCheck check = CheckDisplayMode(index, m_monitors.colourDepth);
    m_displayMode->setCurrentIndex(check.index);
    if (!check.message.empty()) m_messages(check.message);
}

void LoginDialog::ShowFullScreen(bool on) {
    m_fullScreen->setChecked(on);
    m_monitorsLabel->setEnabled(on);
    for (int i = 0; i < kSelectableMonitors; ++i) {
        QCheckBox* box = m_monitorBoxes[static_cast<size_t>(i)];
        const bool exists = i < m_monitors.count;
        box->setEnabled(on && exists);
        box->setChecked(on ? exists && m_monitorFlags[static_cast<size_t>(i)] != 0 : exists);
    }
    for (QWidget* w : {static_cast<QWidget*>(m_width), static_cast<QWidget*>(m_height),
                       static_cast<QWidget*>(m_widthLabel), static_cast<QWidget*>(m_heightLabel)}) {
        w->setEnabled(!on);
    }
}

void LoginDialog::SeamlessToggled(bool on) {
    if (on) ShowFullScreen(true);
    m_fullScreen->setEnabled(!on);
}

void LoginDialog::SetPortText(const QString& port) { m_port->setText(port); }

int LoginDialog::ConfiguredPort() const {
    const int index = m_server->currentIndex();
    if (index >= 0 && index < static_cast<int>(m_hosts.size()) &&
        m_server->currentText() == m_server->itemText(index)) {
        return m_hosts[static_cast<size_t>(index)].port;
    }
    return m_form.settings.displayServerPort;
}

void LoginDialog::Connect() {
    const UserMessage message = AcceptSessionLogin(Fields(), m_monitors, m_form.settings, m_memory);
    if (!message.empty()) {
        m_messages(message);
        return;
    }
    m_form.confirmed = true;
    accept();
}

void LoginDialog::closeEvent(QCloseEvent* event) {
    if (!m_form.confirmed) m_form.exitCode = kExitLoginClosed;
    QDialog::closeEvent(event);
}

}  // namespace corvane
