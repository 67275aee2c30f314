// The Session Login and Enter Password dialogs, driven through their widgets.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>
#include <vector>

#include "config/scrambled_text.h"
#include <QRadioButton>
#include <QTabBar>

#include "ui/password_dialog.h"
#include "ui/project_id_dialog.h"
#include "ui/properties_sheet.h"
#include "ui/session_login_dialog.h"

using namespace corvane;

namespace {

template <typename T>
T* Child(QWidget* dialog, const char* name) {
    T* child = dialog->findChild<T*>(name);
    if (child == nullptr) qFatal("no child %s", name);
    return child;
}

std::string Clear(const std::string& scrambled) {
    std::string clear;
    return UnscrambleText(scrambled, clear) == 0 ? clear : std::string("<not scrambled>");
}

ClientSettings Settings() {
    ClientSettings s;
    s.deviceUserName = "ann";
    s.displayWidth = 1024;
    s.displayHeight = 768;
    return s;
}

const std::vector<HostEntry> kHosts = {{"a.example", "Office A", "codeA", 27600}, {"b.example", "Office B", "", 27700}};

// A Session Login dialog whose messages and help topics the test reads.
struct LoginRig {
    explicit LoginRig(ClientSettings settings = Settings(), MonitorModel monitors = {2, 3840, 1200, 24})
        : dialog(settings, monitors, kHosts, memory, nullptr) {
        dialog.SetMessageSink([this](const UserMessage& m) { messages.push_back(m); });
        dialog.SetHelpOpener([this](int topic) { topics.push_back(topic); });
    }
    template <typename T>
    T* Get(const char* name) {
        return Child<T>(&dialog, name);
    }
    void Choose(const char* combo, int index) {
        auto* box = Child<QComboBox>(&dialog, combo);
        box->setCurrentIndex(index);
        emit box->activated(index);
    }

    LoginMemory memory;
    LoginDialog dialog;
    std::vector<UserMessage> messages;
    std::vector<int> topics;
};

}  // namespace

class LoginDialogsTest : public QObject {
    Q_OBJECT

private slots:
    void FirstShowingFromTheSettingsAndTheHostList() {
        LoginRig rig;
        QCOMPARE(rig.dialog.windowTitle(), QString("Session Login - Version: 9.0.0.0"));
        QCOMPARE(rig.Get<QLineEdit>("user")->text(), QString("ann"));
        QCOMPARE(rig.Get<QComboBox>("server")->currentText(), QString("a.example"));
        QCOMPARE(rig.Get<QLabel>("serverName")->text(), QString("Office A"));
        QCOMPARE(rig.Get<QLineEdit>("port")->text(), QString("27600"));
        QCOMPARE(rig.Get<QComboBox>("bandwidth")->count(), 3);
        QCOMPARE(rig.Get<QComboBox>("bandwidth")->currentText(), QString("Medium"));
        QCOMPARE(rig.Get<QComboBox>("width")->currentText(), QString("1024"));
        QVERIFY(!rig.Get<QCheckBox>("monitor1")->isEnabled());

        // Another server of the list brings its name, code and port.
        rig.Choose("server", 1);
        QCOMPARE(rig.Get<QLabel>("serverName")->text(), QString("Office B"));
        QCOMPARE(rig.Get<QLineEdit>("serverCode")->text(), QString(""));
        QCOMPARE(rig.Get<QLineEdit>("port")->text(), QString("27700"));
    }

    void WidthListPutsItsHeightAndRefusesFullScreenOnA1920Screen() {
        LoginRig rig(Settings(), {1, 1920, 1080, 24});
        rig.Choose("width", 9);  // 2732
        QCOMPARE(rig.Get<QLineEdit>("height")->text(), QString("768"));
        rig.Choose("width", kFullScreenSizeIndex);
        QCOMPARE(rig.Get<QComboBox>("width")->currentText(), QString("1024"));
        QCOMPARE(rig.Get<QLineEdit>("height")->text(), QString("768"));
        QCOMPARE(rig.messages.size(), size_t{1});
        QCOMPARE(QString::fromStdString(rig.messages[0].title), QString("Incompatible screen size"));

        LoginRig wide(Settings(), {2, 3840, 1200, 24});
        wide.Choose("width", kFullScreenSizeIndex);
        QCOMPARE(wide.Get<QLineEdit>("height")->text(), QString("Full Scr."));
        QVERIFY(wide.messages.empty());
    }

    void ModeTooDeepForA16BitDesktopFallsBack() {
        LoginRig rig(Settings(), {1, 1024, 768, 16});
        rig.Choose("displayMode", 3);
        QCOMPARE(rig.Get<QComboBox>("displayMode")->currentText(), QString("16 bit - True Color"));
        QCOMPARE(rig.messages.size(), size_t{1});
        QVERIFY(rig.messages[0].text.find("of 16 and you have chosen a depth of 24.") != std::string::npos);
    }

    void SeamlessTurnsFullScreenOnAndLocksIt() {
        LoginRig rig;
        rig.Get<QCheckBox>("seamless")->click();
        QVERIFY(rig.Get<QCheckBox>("fullScreen")->isChecked());
        QVERIFY(!rig.Get<QCheckBox>("fullScreen")->isEnabled());
        QVERIFY(rig.Get<QCheckBox>("monitor2")->isEnabled());
        QVERIFY(!rig.Get<QCheckBox>("monitor3")->isEnabled());  // two monitors only
        QVERIFY(!rig.Get<QComboBox>("width")->isEnabled());
        rig.Get<QCheckBox>("seamless")->click();
        QVERIFY(rig.Get<QCheckBox>("fullScreen")->isEnabled());
    }

    void ConnectChecksThenTakesTheFields() {
        LoginRig rig(Settings(), {4, 4096, 768, 24});
        QSignalSpy finished(&rig.dialog, &QDialog::finished);
        rig.Get<QPushButton>("connect")->click();
        QCOMPARE(QString::fromStdString(rig.messages.back().text), QString("Please input password"));
        rig.Get<QLineEdit>("password")->setText("pw");
        rig.Get<QLineEdit>("port")->setText("0");
        rig.Get<QPushButton>("connect")->click();
        QCOMPARE(QString::fromStdString(rig.messages.back().text), QString("Please input port number"));
        rig.Get<QLineEdit>("port")->setText("27501");
        // Monitors 1 and 3 are not neighbours.
        rig.Get<QCheckBox>("fullScreen")->click();
        rig.Get<QCheckBox>("monitor2")->click();
        rig.Get<QCheckBox>("monitor4")->click();
        rig.Get<QPushButton>("connect")->click();
        QCOMPARE(QString::fromStdString(rig.messages.back().text),
                 QString("Please make sure selected screens are next to each other."));
        QCOMPARE(finished.count(), 0);

        rig.Get<QCheckBox>("fullScreen")->click();
        rig.Get<QComboBox>("server")->setEditText("c.example  a note");
        rig.Get<QPushButton>("connect")->click();
        QCOMPARE(finished.count(), 1);
        const LoginForm form = rig.dialog.Form();
        QVERIFY(form.confirmed);
        QCOMPARE(QString::fromStdString(form.settings.displayServerAddress), QString("c.example"));
        QCOMPARE(form.settings.displayServerPort, 27501);
        QCOMPARE(QString::fromStdString(Clear(form.settings.password)), QString("pw"));
        QVERIFY(rig.memory.formEntered);

        // The next showing has what was entered.
        LoginDialog again(Settings(), {4, 4096, 768, 24}, kHosts, rig.memory, nullptr);
        QCOMPARE(Child<QLineEdit>(&again, "password")->text(), QString("pw"));
        QCOMPARE(Child<QComboBox>(&again, "server")->currentText(), QString("c.example  a note"));
    }

    // "Advanced" opens the properties sheet; choosing SSL there puts 443 into the port field and
    // the protocol into the settings the dialog answers with.
    void AdvancedSslSetsTheLoginPort() {
        LoginRig rig;
        rig.Get<QLineEdit>("password")->setText("pw");
        QTimer::singleShot(0, [] {
            QWidget* sheet = QApplication::activeModalWidget();
            QVERIFY(sheet && sheet->windowTitle() == "Advanced properties ...");
            Child<QTabBar>(sheet, "pages")->setCurrentIndex(2);
            Child<QRadioButton>(sheet, "ssl")->click();
            Child<QPushButton>(sheet, "ok")->click();
        });
        rig.Get<QPushButton>("advanced")->click();
        QCOMPARE(rig.Get<QLineEdit>("port")->text(), QString("443"));
        rig.Get<QPushButton>("connect")->click();
        QVERIFY(rig.dialog.Form().confirmed);
        QCOMPARE(rig.dialog.Form().settings.protocolType, 1);
        QCOMPARE(rig.dialog.Form().settings.displayServerPort, 443);
    }

    void CancelAndTheCloseBoxGiveTheirExitCodes() {
        LoginRig cancelled;
        cancelled.Get<QPushButton>("cancel")->click();
        QVERIFY(!cancelled.dialog.Form().confirmed);
        QCOMPARE(cancelled.dialog.Form().exitCode, 103);

        LoginRig closed;
        closed.dialog.show();
        closed.dialog.close();
        QVERIFY(!closed.dialog.Form().confirmed);
        QCOMPARE(closed.dialog.Form().exitCode, 102);
    }

    void F1OpensTheTopicOfTheFocusedControl() {
        LoginRig rig;
        rig.dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&rig.dialog));
        rig.Get<QLineEdit>("port")->setFocus();
        QTest::keyClick(rig.Get<QLineEdit>("port"), Qt::Key_F1);
        rig.Get<QLineEdit>("user")->setFocus();
        QTest::keyClick(rig.Get<QLineEdit>("user"), Qt::Key_F1);
        rig.Get<QCheckBox>("seamless")->setFocus();
        QTest::keyClick(rig.Get<QCheckBox>("seamless"), Qt::Key_F1);
        QCOMPARE(rig.topics, (std::vector<int>{10405, 10400, 2350}));
    }

    void EnterPasswordTakesTheCorrectedPassword() {
        ClientSettings settings = Settings();
        QVERIFY(ScrambleText("old", settings.password) == 0);
        LoginMemory memory;
        PasswordDialog dialog(settings, memory, nullptr);
        std::vector<UserMessage> messages;
        dialog.SetMessageSink([&](const UserMessage& m) { messages.push_back(m); });
        QCOMPARE(dialog.windowTitle(), QString("Enter Password"));
        QCOMPARE(Child<QLineEdit>(&dialog, "password")->text(), QString("old"));
        Child<QLineEdit>(&dialog, "password")->clear();
        Child<QPushButton>(&dialog, "connect")->click();
        QCOMPARE(messages.size(), size_t{1});
        QCOMPARE(QString::fromStdString(messages[0].text), QString("Please input password"));
        Child<QLineEdit>(&dialog, "password")->setText("new");
        Child<QPushButton>(&dialog, "connect")->click();
        QVERIFY(dialog.Form().confirmed);
        QCOMPARE(QString::fromStdString(Clear(dialog.Form().settings.password)), QString("new"));

        PasswordDialog cancelled(settings, memory, nullptr);
        QCOMPARE(Child<QLineEdit>(&cancelled, "password")->text(), QString("new"));
        Child<QPushButton>(&cancelled, "cancel")->click();
        QCOMPARE(cancelled.Form().exitCode, 103);
    }

    // Each page checks its values when the user leaves it and keeps them there until they pass.
    void PropertiesPagesKeepTheUserUntilValid() {
        ClientSettings settings;
        std::vector<int> loginPorts;
        PropertiesSheet sheet(settings, 27600, [&](int port) { loginPorts.push_back(port); }, nullptr);
        std::vector<UserMessage> messages;
        sheet.SetMessageSink([&](const UserMessage& m) { messages.push_back(m); });
        auto* tabs = Child<QTabBar>(&sheet, "pages");
        QCOMPARE(tabs->count(), 3);
        QCOMPARE(tabs->tabText(0) + tabs->tabText(1) + tabs->tabText(2), QString("XdmcpRDPProtocol"));
        const auto lastMessage = [&] { return QString::fromStdString(messages.back().text); };

        // Xdmcp: a type without a host.
        auto* type = Child<QComboBox>(&sheet, "xdmcpType");
        type->setCurrentIndex(2);
        emit type->activated(2);
        QVERIFY(Child<QPushButton>(&sheet, "apply")->isEnabled());
        tabs->setCurrentIndex(1);
        QCOMPARE(tabs->currentIndex(), 0);
        QCOMPARE(lastMessage(), QString("Please enter a host."));
        QCOMPARE(QString::fromStdString(messages.back().title), QString("Invalid parameter"));
        Child<QLineEdit>(&sheet, "xdmcpHost")->setText("xdm.example");
        tabs->setCurrentIndex(1);
        QCOMPARE(tabs->currentIndex(), 1);
        QCOMPARE(QString::fromStdString(settings.xdmcpType), QString("-indirect"));

        // RDP: too wide a desktop, then full screen, which takes any size.
        auto* width = Child<QLineEdit>(&sheet, "rdpWidth");
        QVERIFY(!width->isEnabled());
        Child<QCheckBox>(&sheet, "rdpEnabled")->click();
        QVERIFY(width->isEnabled());
        Child<QLineEdit>(&sheet, "rdpUser")->setText("ann");
        Child<QLineEdit>(&sheet, "rdpHost")->setText("win.example");
        width->setText("2561");
        tabs->setCurrentIndex(2);
        QCOMPARE(tabs->currentIndex(), 1);
        QCOMPARE(lastMessage(), QString("Invalid geometry width."));
        Child<QCheckBox>(&sheet, "rdpFullScreen")->click();
        QVERIFY(!width->isEnabled());
        tabs->setCurrentIndex(2);
        QCOMPARE(tabs->currentIndex(), 2);
        QVERIFY(settings.rdpEnabled && settings.rdpFullScreen);

        // Protocol: SSL sets the login port to 443, zRP back to the configured one; the proxy
        // box offers 8080 and wants a host.
        auto* useProxy = Child<QCheckBox>(&sheet, "useProxy");
        QVERIFY(!useProxy->isEnabled());
        Child<QRadioButton>(&sheet, "ssl")->click();
        QVERIFY(useProxy->isEnabled());
        useProxy->click();
        QCOMPARE(Child<QLineEdit>(&sheet, "proxyPort")->text(), QString("8080"));
        Child<QPushButton>(&sheet, "apply")->click();
        QCOMPARE(lastMessage(), QString("Please enter a proxy host."));
        Child<QRadioButton>(&sheet, "zrp")->click();
        QVERIFY(!useProxy->isChecked() && !useProxy->isEnabled());
        Child<QPushButton>(&sheet, "apply")->click();
        Child<QRadioButton>(&sheet, "ssl")->click();
        useProxy->click();
        Child<QLineEdit>(&sheet, "proxyHost")->setText("proxy.example");
        Child<QPushButton>(&sheet, "ok")->click();
        QCOMPARE(sheet.result(), int(QDialog::Accepted));
        QCOMPARE(loginPorts, (std::vector<int>{27600, 443}));
        QCOMPARE(settings.protocolType, 1);
        QCOMPARE(settings.useProxy, 1);
        QCOMPARE(settings.proxyPort, 8080);
    }

    void ProjectIdentificationTakesTheIdOnOk() {
        ClientSettings settings;
        ProjectIdDialog dialog(settings, nullptr);
        QCOMPARE(dialog.windowTitle(), QString("Project Identification"));
        QCOMPARE(Child<QLineEdit>(&dialog, "projectId")->maxLength(), 100);
        Child<QLineEdit>(&dialog, "projectId")->setText("P-42");
        Child<QPushButton>(&dialog, "ok")->click();
        QVERIFY(dialog.Form().confirmed);
        QCOMPARE(QString::fromStdString(dialog.Form().settings.projectID), QString("P-42"));
    }
};

QTEST_MAIN(LoginDialogsTest)
#include "login_dialogs_test.moc"
