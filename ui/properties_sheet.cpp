#include "ui/properties_sheet.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QStackedWidget>
#include <QTabBar>
#include <QVBoxLayout>

#include "session/properties_rules.h"

namespace corvane {

namespace {

enum Page { kXdmcp = 0, kRdp = 1, kProtocol = 2 };
// The right-click topic of each page.
constexpr int kPageTopics[] = {10434, 10435, 10433};

QString Q(const std::string& text) { return QString::fromStdString(text); }

QLineEdit* Field(QWidget* parent, const char* name, const std::string& text = {}) {
    auto* field = new QLineEdit(Q(text), parent);
    field->setObjectName(name);
    field->setMaxLength(kPropertyFieldLimit);
    return field;
}

void Enable(std::initializer_list<QWidget*> widgets, bool on) {
    for (QWidget* w : widgets) w->setEnabled(on);
}

}  // namespace

PropertiesSheet::PropertiesSheet(ClientSettings& settings, int configuredPort, std::function<void(int)> setLoginPort,
                                 QWidget* parent)
    : QDialog(parent),
      m_settings(settings),
      m_configuredPort(configuredPort),
      m_setLoginPort(std::move(setLoginPort)),
      m_messages(BoxesOver(this)) {
    setWindowTitle("Advanced properties ...");
    setModal(true);
    m_help = new ContextHelp(this, 2350, kPageTopics[kXdmcp]);

    m_tabs = new QTabBar(this);
    m_tabs->setObjectName("pages");
    m_pages = new QStackedWidget(this);
    m_tabs->addTab("Xdmcp");
    m_pages->addWidget(BuildXdmcpPage());
    m_tabs->addTab("RDP");
    m_pages->addWidget(BuildRdpPage());
    m_tabs->addTab("Protocol");
    m_pages->addWidget(BuildProtocolPage());
    connect(m_tabs, &QTabBar::currentChanged, this, &PropertiesSheet::PageChosen);

    auto* ok = new QPushButton("OK", this);
    ok->setObjectName("ok");
    ok->setDefault(true);
    auto* cancel = new QPushButton("Cancel", this);
    cancel->setObjectName("cancel");
    m_apply = new QPushButton("Apply", this);
    m_apply->setObjectName("apply");
    m_apply->setEnabled(false);
    connect(ok, &QPushButton::clicked, this, [this] {
        if (LeavePage()) accept();
    });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_apply, &QPushButton::clicked, this, [this] {
        if (LeavePage()) m_apply->setEnabled(false);
    });

    auto* column = new QVBoxLayout(this);
    column->addWidget(m_tabs);
    column->addWidget(m_pages);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    buttons->addWidget(m_apply);
    column->addLayout(buttons);
}

QWidget* PropertiesSheet::BuildXdmcpPage() {
    auto* page = new QWidget(this);
    auto* group = new QGroupBox("XDMCP Properties", page);
    m_xdmcpType = new QComboBox(group);
    m_xdmcpType->setObjectName("xdmcpType");
    for (const char* type : kXdmcpTypes) m_xdmcpType->addItem(type);
    const XdmcpPage shown = XdmcpPageFrom(m_settings);
    const int typeIndex = m_xdmcpType->findText(Q(shown.type));
    if (typeIndex < 0) m_xdmcpType->addItem(Q(shown.type));  // a type of the site file's own
    m_xdmcpType->setCurrentIndex(typeIndex < 0 ? m_xdmcpType->count() - 1 : typeIndex);
    m_xdmcpHost = Field(group, "xdmcpHost", shown.host);
    m_xdmcpFrom = Field(group, "xdmcpFrom", shown.from);
    auto* grid = new QGridLayout(group);
    grid->addWidget(new QLabel("Type:", group), 0, 0);
    grid->addWidget(m_xdmcpType, 0, 1);
    grid->addWidget(new QLabel("Host:", group), 1, 0);
    grid->addWidget(m_xdmcpHost, 1, 1);
    grid->addWidget(new QLabel("From address:", group), 2, 0);
    grid->addWidget(m_xdmcpFrom, 2, 1);
    (new QVBoxLayout(page))->addWidget(group);

    connect(m_xdmcpType, &QComboBox::activated, this, [this] {
        if (m_xdmcpType->currentText() == kXdmcpTypes[0]) {
            m_xdmcpHost->clear();
            m_xdmcpFrom->clear();
        }
        Changed();
    });
    for (QLineEdit* field : {m_xdmcpHost, m_xdmcpFrom}) {
        connect(field, &QLineEdit::textEdited, this, [this] {
            if (!m_xdmcpType->currentText().isEmpty() && !m_xdmcpHost->text().isEmpty()) Changed();
        });
    }
    m_help->SetTopic(m_xdmcpType, 10416);
    m_help->SetTopic(m_xdmcpHost, 10417);
    m_help->SetTopic(m_xdmcpFrom, 10418);
    return page;
}

QWidget* PropertiesSheet::BuildRdpPage() {
    auto* page = new QWidget(this);
    const RdpPage shown = RdpPageFrom(m_settings);
    m_rdpStoredFullScreen = shown.fullScreen;
    m_rdpEnabled = new QCheckBox("Enable RDP ", page);
    m_rdpEnabled->setObjectName("rdpEnabled");
    m_rdpEnabled->setChecked(shown.enabled);
    m_rdpFullScreen = new QCheckBox("Full Screen", page);
    m_rdpFullScreen->setObjectName("rdpFullScreen");
    m_rdpFullScreen->setChecked(shown.fullScreen);
    m_rdpWidth = Field(page, "rdpWidth", shown.width);
    m_rdpHeight = Field(page, "rdpHeight", shown.height);
    m_rdpSizeLabel = new QLabel("Desktop size:", page);
    m_rdpByLabel = new QLabel("X", page);
    m_rdpPrivateColours = new QCheckBox("Use private colors.", page);
    m_rdpPrivateColours->setObjectName("rdpPrivateColours");
    m_rdpPrivateColours->setChecked(shown.privateColours);
    m_rdpUser = Field(page, "rdpUser", shown.user);
    m_rdpHost = Field(page, "rdpHost", shown.host);
    m_rdpProgram = Field(page, "rdpProgram", shown.program);

    auto* grid = new QGridLayout(page);
    grid->addWidget(m_rdpEnabled, 0, 0, 1, 4);
    grid->addWidget(m_rdpFullScreen, 1, 0, 1, 4);
    grid->addWidget(m_rdpSizeLabel, 2, 0);
    grid->addWidget(m_rdpWidth, 2, 1);
    grid->addWidget(m_rdpByLabel, 2, 2);
    grid->addWidget(m_rdpHeight, 2, 3);
    grid->addWidget(m_rdpPrivateColours, 3, 0, 1, 4);
    grid->addWidget(new QLabel("User name:", page), 4, 0);
    grid->addWidget(m_rdpUser, 4, 1, 1, 3);
    grid->addWidget(new QLabel("Host:", page), 5, 0);
    grid->addWidget(m_rdpHost, 5, 1, 1, 3);
    grid->addWidget(new QLabel("Program:", page), 6, 0);
    grid->addWidget(m_rdpProgram, 6, 1, 1, 3);
    ShowRdpEnabled();

    connect(m_rdpEnabled, &QCheckBox::clicked, this, [this](bool on) {
        if (on) m_rdpFullScreen->setChecked(m_rdpStoredFullScreen);
        ShowRdpEnabled();
        Changed();
    });
    connect(m_rdpFullScreen, &QCheckBox::clicked, this, [this] {
        ShowRdpEnabled();
        Changed();
    });
    connect(m_rdpPrivateColours, &QCheckBox::clicked, this, &PropertiesSheet::Changed);
    for (QLineEdit* field : {m_rdpWidth, m_rdpHeight, m_rdpUser, m_rdpHost, m_rdpProgram}) {
        connect(field, &QLineEdit::textEdited, this, &PropertiesSheet::Changed);
    }
    m_help->SetTopic(m_rdpHost, 10423);
    for (QWidget* w : {static_cast<QWidget*>(m_rdpWidth), static_cast<QWidget*>(m_rdpHeight),
                       static_cast<QWidget*>(m_rdpFullScreen)}) {
        m_help->SetTopic(w, 10420);
    }
    m_help->SetTopic(m_rdpEnabled, 10419);
    m_help->SetTopic(m_rdpPrivateColours, 10421);
    m_help->SetTopic(m_rdpUser, 10422);
    m_help->SetTopic(m_rdpProgram, 10424);
    return page;
}

void PropertiesSheet::ShowRdpEnabled() {
    const bool on = m_rdpEnabled->isChecked();
    const bool sized = on && !m_rdpFullScreen->isChecked();
    Enable({m_rdpFullScreen, m_rdpPrivateColours, m_rdpUser, m_rdpHost, m_rdpProgram}, on);
    Enable({m_rdpWidth, m_rdpHeight, m_rdpSizeLabel, m_rdpByLabel}, sized);
}

QWidget* PropertiesSheet::BuildProtocolPage() {
    auto* page = new QWidget(this);
    const ProtocolPage shown = ProtocolPageFrom(m_settings);
    m_zrp = new QRadioButton("Use zRP Protocol.", page);
    m_zrp->setObjectName("zrp");
    auto* note1 = new QLabel("This is the default protocol used by Corvane", page);
    auto* note2 = new QLabel("which includes 128 bit encryption.", page);
    m_ssl = new QRadioButton("Use SSL  (Secure Socket Layer)", page);
    m_ssl->setObjectName("ssl");
    (shown.ssl ? m_ssl : m_zrp)->setChecked(true);
    m_useProxy = new QCheckBox(page);
    m_useProxy->setObjectName("useProxy");
    m_useProxy->setChecked(shown.proxy);
    m_useProxyLabel = new QLabel("Use Proxy", page);
    m_proxyHost = Field(page, "proxyHost", shown.proxyHost);
    m_proxyHostLabel = new QLabel("Proxy host or I.P.", page);
    m_proxyPort = Field(page, "proxyPort", shown.proxyPort);
    m_proxyPortLabel = new QLabel("Port number", page);

    auto* grid = new QGridLayout(page);
    grid->addWidget(m_zrp, 0, 0, 1, 2);
    grid->addWidget(note1, 1, 1);
    grid->addWidget(note2, 2, 1);
    grid->addWidget(m_ssl, 3, 0, 1, 2);
    grid->addWidget(m_useProxy, 4, 0);
    grid->addWidget(m_useProxyLabel, 4, 1);
    grid->addWidget(m_proxyHostLabel, 5, 0);
    grid->addWidget(m_proxyHost, 5, 1);
    grid->addWidget(m_proxyPortLabel, 6, 0);
    grid->addWidget(m_proxyPort, 6, 1);
    ShowProtocol();

    const auto protocolChosen = [this] {
        m_useProxy->setChecked(false);
        ShowProtocol();
        Changed();
    };
    connect(m_zrp, &QRadioButton::clicked, this, protocolChosen);
    connect(m_ssl, &QRadioButton::clicked, this, protocolChosen);
    connect(m_useProxy, &QCheckBox::clicked, this, [this](bool on) {
        if (on && (m_proxyPort->text().isEmpty() || m_proxyPort->text() == "0")) {
            m_proxyPort->setText(QString::number(kDefaultProxyPort));
        }
        ShowProtocol();
        Changed();
    });
    for (QLineEdit* field : {m_proxyHost, m_proxyPort}) {
        connect(field, &QLineEdit::textEdited, this, &PropertiesSheet::Changed);
    }
    for (QWidget* w : {static_cast<QWidget*>(m_zrp), static_cast<QWidget*>(note1), static_cast<QWidget*>(note2)}) {
        m_help->SetTopic(w, 10425);
    }
    m_help->SetTopic(m_ssl, 10426);
    m_help->SetTopic(m_useProxy, 10427);
    m_help->SetTopic(m_useProxyLabel, 10427);
    m_help->SetTopic(m_proxyHost, 10428);
    m_help->SetTopic(m_proxyPort, 10429);
    return page;
}

void PropertiesSheet::ShowProtocol() {
    const bool ssl = m_ssl->isChecked();
    Enable({m_useProxy, m_useProxyLabel}, ssl);
    Enable({m_proxyHost, m_proxyHostLabel, m_proxyPort, m_proxyPortLabel}, ssl && m_useProxy->isChecked());
}

void PropertiesSheet::Changed() { m_apply->setEnabled(true); }

bool PropertiesSheet::LeavePage() {
    UserMessage message;
    switch (m_current) {
        case kXdmcp:
            message = LeaveXdmcpPage({m_xdmcpType->currentText().toStdString(), m_xdmcpHost->text().toStdString(),
                                      m_xdmcpFrom->text().toStdString()},
                                     m_settings);
            break;
        case kRdp:
            message = LeaveRdpPage({m_rdpEnabled->isChecked(), m_rdpFullScreen->isChecked(),
                                    m_rdpPrivateColours->isChecked(), m_rdpWidth->text().trimmed().toStdString(),
                                    m_rdpHeight->text().trimmed().toStdString(), m_rdpUser->text().toStdString(),
                                    m_rdpHost->text().toStdString(), m_rdpProgram->text().toStdString()},
                                   m_settings);
            if (message.empty()) m_rdpStoredFullScreen = m_settings.rdpFullScreen;
            break;
        case kProtocol: {
            const ProtocolLeave leave = LeaveProtocolPage(
                {m_ssl->isChecked(), m_useProxy->isChecked(), m_proxyHost->text().toStdString(),
                 m_proxyPort->text().trimmed().toStdString()},
                m_configuredPort, m_settings);
            message = leave.message;
            if (leave.loginPort && m_setLoginPort) m_setLoginPort(*leave.loginPort);
            break;
        }
        default: break;
    }
    if (message.empty()) return true;
    m_messages(message);
    return false;
}

void PropertiesSheet::PageChosen(int index) {
    if (index == m_current || index < 0 || index >= m_pages->count()) return;
    if (!LeavePage()) {
        const QSignalBlocker blocker(m_tabs);
        m_tabs->setCurrentIndex(m_current);
        return;
    }
    m_current = index;
    m_pages->setCurrentIndex(index);
    m_help->SetRightClickTopic(kPageTopics[index]);
}

}  // namespace corvane
