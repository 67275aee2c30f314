// The Session Login dialog: the whole connection before the first login (stand-alone, or when
// the site or connection file asks for it): user, password, server, port, session number,
// server code, bandwidth, session size, display mode, full-screen monitors, seamless mode, and
// "Advanced" for the properties sheet. Connect checks the fields (the rules live in
// session/login_form_rules) and takes them; Cancel and the close box leave with the client's
// exit codes for each.
//
// User-interface thread only.
#pragma once

#include <QDialog>
#include <array>
#include <functional>
#include <vector>

#include "config/host_list.h"
#include "session/dialog_port.h"
#include "session/login_form_rules.h"
#include "ui/context_help.h"
#include "ui/user_message_box.h"

class QCheckBox;
class QCloseEvent;
class QComboBox;
class QLabel;
class QLineEdit;

namespace corvane {

class LoginDialog : public QDialog {
public:
    // `memory` holds the values last entered and outlives the dialog; `monitors` is the screen
    // the client runs on.
    LoginDialog(const ClientSettings& settings, const MonitorModel& monitors, std::vector<HostEntry> hosts,
                LoginMemory& memory, QWidget* parent);

    // The answer, once the dialog has finished.
    [[nodiscard]] LoginForm Form() const { return m_form; }
    void SetMessageSink(MessageSink sink) { m_messages = std::move(sink); }
    void SetHelpOpener(HelpOpener opener) { m_help->SetOpener(std::move(opener)); }
    // What "Advanced" opens in place of the properties sheet over this dialog (which edits
    // the settings the dialog answers with and may set the port field).
    using AdvancedHandler = std::function<void(LoginDialog& dialog, ClientSettings& settings)>;
    void SetAdvancedHandler(AdvancedHandler handler) { m_advanced = std::move(handler); }

    // The port field, for the properties sheet's protocol page.
    void SetPortText(const QString& port);
    // The port of the server chosen now (the configured one the protocol page goes back to).
    [[nodiscard]] int ConfiguredPort() const;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void Fill(const SessionLoginFields& fields);
    [[nodiscard]] SessionLoginFields Fields() const;
    void WidthChosen(int index);
    void ServerChosen(int index);
    void DisplayModeChosen(int index);
    void ShowFullScreen(bool on);
    void SeamlessToggled(bool on);
    void Connect();

    LoginForm m_form;
    MonitorModel m_monitors;
    std::vector<HostEntry> m_hosts;
    LoginMemory& m_memory;
    MessageSink m_messages;
    AdvancedHandler m_advanced;
    ContextHelp* m_help = nullptr;
    std::array<int, kSelectableMonitors> m_monitorFlags{1, 1, 1, 1};

    QLineEdit* m_user = nullptr;
    QLineEdit* m_password = nullptr;
    QComboBox* m_server = nullptr;
    QLabel* m_serverName = nullptr;
    QLineEdit* m_port = nullptr;
    QLineEdit* m_sessionId = nullptr;
    QLineEdit* m_serverCode = nullptr;
    QComboBox* m_bandwidth = nullptr;
    QComboBox* m_width = nullptr;
    QLineEdit* m_height = nullptr;
    QLabel* m_widthLabel = nullptr;
    QLabel* m_heightLabel = nullptr;
    QComboBox* m_displayMode = nullptr;
    QCheckBox* m_fullScreen = nullptr;
    QLabel* m_monitorsLabel = nullptr;
    std::array<QCheckBox*, kSelectableMonitors> m_monitorBoxes{};
    QCheckBox* m_seamless = nullptr;
};

}  // namespace corvane
