// The login dialogs of the windowed client on a real X server (Xvfb), typed into with xdotool
// as a person would: a connection file without a password gets the Enter Password dialog
// after the server refuses the login, and what the user types there logs in.
#include <QApplication>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QtTest>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "session/child_process.h"
#include "support/temp_dir.h"
#include "test_display.h"

using namespace corvane;
using corvane::test::ChildProcess;
using corvane::test::ReadWholeFile;
using corvane::test::TempDir;
using corvane::test::TestDisplay;

namespace {

constexpr auto kPatience = std::chrono::seconds(30);
constexpr const char* kPassword = "s3cret-Pw";
TestDisplay g_display;

void RunTool(const std::vector<std::string>& args) {
    ChildProcess tool;
    if (tool.Start(args, {"DISPLAY=" + g_display.Name()}, "/dev/null")) (void)tool.Wait();
}

size_t Count(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

// The test server (account demo with kPassword) and the windowed client: with a connection
// file whose password line is empty, or stand-alone (no file) with the server in the site
// file's host list.
class LoginSession {
public:
    // `silentPort`: log in to that port (where nobody answers) instead of the test server.
    bool Start(bool standAlone = false, int silentPort = 0) {
        std::string listening = "listening on " + std::to_string(silentPort);
        if (silentPort == 0) {
            if (!m_server.Start({CORVANE_TESTSERVER_PATH, "--port", "0", "--once", "--exit-after", "90", "--static",
                                 "--geometry", "640x480", "--user", "demo:" + std::string(kPassword), "--log",
                                 m_dir.file("server.log")},
                                {}, m_dir.file("server.stderr"))) {
                return false;
            }
            listening = m_server.ReadLine();
        }
        if (listening.rfind("listening on ", 0) != 0) return false;
        m_dir.write("docs/.keep", "");
        const std::string site = m_dir.write("install/qel.ini",
                                             "[Viewer]\nLogFile client.log\nPrintDebug 1\nColorDepth 24\n"
                                             "VisualClass 4\nCloseDialog 0\nDisplayPort 27500\nMaxScreenWidth 1024\nMaxScreenHeight 768\nBackingStore 0\nAddOptions\nSessionLoginDialog 0\nUseGLPlus 0\n" +
                                                 (standAlone ? "[User]\nUsername demo\n[Hosts]\n127.0.0.1 test - " +
                                                                   listening.substr(13) + "\n"
                                                             : std::string()));
        m_dir.write("registry", "[HKEY_LOCAL_MACHINE\\Software\\Halden Systems]\nQELINI=" + site +
                                    "\nINSTALLPATH=" + m_dir.file("install") + "\n");
        const std::string zrp = m_dir.write(
            "session.zrp", "[ZRP Client]\r\nVersionRequired 528\r\nDeviceUserName demo\r\nPassword \r\n"
                           "SessionID 0\r\nDisplayServerAddress 127.0.0.1\r\nDisplayServerName test\r\n"
                           "DisplayServerPort " + listening.substr(13) + "\r\nDisplayBandwidth 1\r\n");
        std::vector<std::string> client = {CORVANE_CLIENT_PATH, "--exit-after", "60"};
        if (!standAlone) client.push_back(zrp);
        return m_client.Start(client,
                              {"CORVANE_REGISTRY=" + m_dir.file("registry"), "XDG_DOCUMENTS_DIR=" + m_dir.file("docs"),
                               "HOME=" + m_dir.path()},
                              m_dir.file("client.stderr"));
    }

    [[nodiscard]] std::string ServerLog() const { return ReadWholeFile(m_dir.file("server.log")); }
    [[nodiscard]] std::string ClientLog() const { return ReadWholeFile(m_dir.file("docs/My Connections/client.log")); }
    [[nodiscard]] int WaitForClient(std::chrono::milliseconds bound) { return m_client.Wait(bound); }

    // Waits for the dialog titled by `title` (a pattern) to show after `logins` login attempts,
    // then types the password into it and presses Return.
    bool TypePassword(int logins, const std::string& password, const std::string& title = "^Enter Password$") {
        const auto deadline = std::chrono::steady_clock::now() + kPatience;
        const std::string search = "xdotool search --onlyvisible --name '" + title + "'";
        while (Count(ServerLog(), "login user=demo") < static_cast<size_t>(logins) || g_display.Output(search).empty()) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            QTest::qWait(100);
        }
        const std::string window = g_display.Output(search);
        RunTool({"/usr/bin/xdotool", "windowfocus", "--sync", window.substr(0, window.find('\n'))});
        QTest::qWait(300);
        RunTool({"/usr/bin/xdotool", "type", "--delay", "40", password});
        RunTool({"/usr/bin/xdotool", "key", "Return"});
        return true;
    }

private:
    TempDir m_dir;
    ChildProcess m_server;
    ChildProcess m_client;
};

}  // namespace

class LoginEndToEndTest : public QObject {
    Q_OBJECT

private slots:
    void ThePasswordTypedIntoEnterPasswordLogsIn() {
        LoginSession session;
        QVERIFY(session.Start());
        QVERIFY2(session.TypePassword(1, kPassword), session.ClientLog().c_str());
        QTRY_VERIFY_WITH_TIMEOUT(session.ServerLog().find("session start") != std::string::npos,
                                 std::chrono::milliseconds(kPatience).count());
        // The file's empty password was refused; the one typed was taken.
        const std::string log = session.ServerLog();
        QCOMPARE(Count(log, "login-reply status=1 "), size_t{1});
        QCOMPARE(Count(log, "login-reply status=0 "), size_t{1});
        QVERIFY(session.ClientLog().find(kPassword) == std::string::npos);
    }

    void AWrongPasswordFirstThenTheRightOne() {
        LoginSession session;
        QVERIFY(session.Start());
        QVERIFY2(session.TypePassword(1, "wrong"), session.ClientLog().c_str());
        // The dialog shows again with the wrong password selected: typing replaces it.
        QVERIFY2(session.TypePassword(2, kPassword), session.ClientLog().c_str());
        QTRY_VERIFY_WITH_TIMEOUT(session.ServerLog().find("session start") != std::string::npos,
                                 std::chrono::milliseconds(kPatience).count());
        const std::string log = session.ServerLog();
        QCOMPARE(Count(log, "login-reply status=1 "), size_t{2});
        QCOMPARE(Count(log, "login-reply status=0 "), size_t{1});
    }

    // No connection file: the Session Login dialog comes up with the site file's user and
    // server; the password typed there logs in at once.
    void StandAloneStartLogsInWithWhatTheLoginDialogTook() {
        LoginSession session;
        QVERIFY(session.Start(true));
        QVERIFY2(session.TypePassword(0, kPassword, "^Session Login - "), session.ClientLog().c_str());
        QTRY_VERIFY_WITH_TIMEOUT(session.ServerLog().find("session start") != std::string::npos,
                                 std::chrono::milliseconds(kPatience).count());
        const std::string log = session.ServerLog();
        QCOMPARE(Count(log, "login-reply status=0 "), size_t{1});
        QCOMPARE(Count(log, "login-reply status=1 "), size_t{0});
        QVERIFY(session.ClientLog().find("Selected Server 127.0.0.1") != std::string::npos);
    }

    // A server that takes the connection and never answers holds the login on a read; the
    // progress window is all the user has, and closing it ends the client at once.
    void ClosingTheProgressWindowEndsALoginASilentServerHolds() {
        // The system accepts connections into the backlog of a socket nobody accepts from.
        const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
        QVERIFY(listener >= 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        QVERIFY(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0);
        QVERIFY(::listen(listener, 8) == 0);
        QVERIFY(::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) == 0);

        LoginSession session;
        QVERIFY(session.Start(false, ntohs(address.sin_port)));
        QTRY_VERIFY_WITH_TIMEOUT(session.ClientLog().find("Connecting To zRP Server") != std::string::npos,
                                 std::chrono::milliseconds(kPatience).count());
        std::string window;
        QTRY_VERIFY_WITH_TIMEOUT(
            !(window = g_display.Output("xdotool search --onlyvisible --name '^Connection in progress'")).empty(),
            std::chrono::milliseconds(kPatience).count());
        QTest::qWait(500);  // the login has sent its request and waits for the answer
        RunTool({"/usr/bin/xdotool", "windowfocus", "--sync", window.substr(0, window.find('\n'))});
        const auto closed = std::chrono::steady_clock::now();
        RunTool({"/usr/bin/xdotool", "key", "Escape"});
        QCOMPARE(session.WaitForClient(std::chrono::seconds(10)), 0);
        QVERIFY2(std::chrono::steady_clock::now() - closed < std::chrono::seconds(3), session.ClientLog().c_str());
        ::close(listener);
    }
};

int main(int argc, char** argv) {
    if (!g_display.Start(1024, 768)) {
        std::fprintf(stderr, "cannot start Xvfb\n");
        return 1;
    }
    setenv("DISPLAY", g_display.Name().c_str(), 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    setenv("DBUS_SESSION_BUS_ADDRESS", "disabled:", 1);
    QApplication application(argc, argv);
    LoginEndToEndTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "login_end_to_end_test.moc"
