// The "Advanced properties ..." sheet of the Session Login dialog: the Xdmcp, RDP and Protocol
// pages, in that order. Each page shows the settings when the sheet opens and checks and stores
// its values when the user leaves it (another page, OK or Apply); a page whose values do not
// pass says why and keeps the user on it. (A tab widget cannot refuse a change of page: the
// sheet is a tab bar over a stack of pages that puts the old page back.)
//
// User-interface thread only.
#pragma once

#include <QDialog>
#include <functional>

#include "config/client_settings.h"
#include "ui/context_help.h"
#include "ui/user_message_box.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QStackedWidget;
class QTabBar;

namespace corvane {

class PropertiesSheet : public QDialog {
public:
    // Pages store into `settings`, which outlives the sheet. The protocol page sets the login
    // dialog's port through `setLoginPort`; `configuredPort` is the port it goes back to.
    PropertiesSheet(ClientSettings& settings, int configuredPort, std::function<void(int)> setLoginPort,
                    QWidget* parent);

    void SetMessageSink(MessageSink sink) { m_messages = std::move(sink); }
    void SetHelpOpener(HelpOpener opener) { m_help->SetOpener(std::move(opener)); }

    // Checks and stores the page shown; false (the user told why) when it does not pass.
    bool LeavePage();

private:
    QWidget* BuildXdmcpPage();
    QWidget* BuildRdpPage();
    QWidget* BuildProtocolPage();
    void PageChosen(int index);
    void Changed();
    void ShowRdpEnabled();
    void ShowProtocol();

    ClientSettings& m_settings;
    int m_configuredPort;
    std::function<void(int)> m_setLoginPort;
    MessageSink m_messages;
    ContextHelp* m_help = nullptr;
    QTabBar* m_tabs = nullptr;
    QStackedWidget* m_pages = nullptr;
    int m_current = 0;
    QPushButton* m_apply = nullptr;

    QComboBox* m_xdmcpType = nullptr;
    QLineEdit* m_xdmcpHost = nullptr;
    QLineEdit* m_xdmcpFrom = nullptr;

    QCheckBox* m_rdpEnabled = nullptr;
    QCheckBox* m_rdpFullScreen = nullptr;
    QLineEdit* m_rdpWidth = nullptr;
    QLineEdit* m_rdpHeight = nullptr;
    QLabel* m_rdpSizeLabel = nullptr;
    QLabel* m_rdpByLabel = nullptr;
    QCheckBox* m_rdpPrivateColours = nullptr;
    QLineEdit* m_rdpUser = nullptr;
    QLineEdit* m_rdpHost = nullptr;
    QLineEdit* m_rdpProgram = nullptr;
    bool m_rdpStoredFullScreen = false;

    QRadioButton* m_zrp = nullptr;
    QRadioButton* m_ssl = nullptr;
    QCheckBox* m_useProxy = nullptr;
    QLabel* m_useProxyLabel = nullptr;
    QLineEdit* m_proxyHost = nullptr;
    QLabel* m_proxyHostLabel = nullptr;
    QLineEdit* m_proxyPort = nullptr;
    QLabel* m_proxyPortLabel = nullptr;
};

}  // namespace corvane
