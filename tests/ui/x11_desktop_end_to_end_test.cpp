// The test server serving a real X display: an xterm runs on the server's own Xvfb, the real
// client shows that display in its window on another Xvfb, and a line typed into the
// client's window arrives in the xterm exactly as it was typed (case, digits, punctuation),
// which only happens when the server's keymap gives each key code the key the client meant.
// Text copied on either display can be pasted on the other.
#include <QCoreApplication>
#include <QtTest>
#include <chrono>
#include <cstdlib>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "config/scrambled_text.h"
#include "session/child_process.h"
#include "support/temp_dir.h"
#include "test_display.h"
#include "tools/testserver/x11_cursor.h"

using namespace corvane;
using corvane::test::ChildProcess;
using corvane::test::ReadWholeFile;
using corvane::test::TempDir;
using corvane::test::RunTool;
using corvane::test::TestDisplay;

namespace {

constexpr int kClientScreenWidth = 1024;
constexpr int kClientScreenHeight = 768;
constexpr int kServerScreenWidth = 640;
constexpr int kServerScreenHeight = 400;
constexpr auto kPatience = std::chrono::seconds(30);

TestDisplay g_clientDisplay;

int Millis(std::chrono::seconds s) { return static_cast<int>(std::chrono::milliseconds(s).count()); }

struct Place {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

// The largest visible window of the client on its display.
std::optional<Place> ClientWindow() {
    std::optional<Place> best;
    std::istringstream ids(g_clientDisplay.Output("xdotool search --onlyvisible --class corvane"));
    std::string id;
    while (ids >> id) {
        std::istringstream lines(g_clientDisplay.Output("xdotool getwindowgeometry --shell " + id));
        Place p;
        std::string line;
        while (std::getline(lines, line)) {
            const size_t eq = line.find('=');
            if (eq == std::string::npos) continue;
            const int value = std::atoi(line.c_str() + eq + 1);
            const std::string name = line.substr(0, eq);
            if (name == "X") p.x = value;
            if (name == "Y") p.y = value;
            if (name == "WIDTH") p.width = value;
            if (name == "HEIGHT") p.height = value;
        }
        if (!best || p.width * p.height > best->width * best->height) best = p;
    }
    return best;
}

}  // namespace

// The test server serving its own Xvfb (with an xterm that writes the line it reads to OUT)
// and the real client showing it in a window on the client's display.
class ServedDesktop {
public:
    // `siteLine` goes into the client's site file; `keyCodes` is the server's --key-codes.
    bool Start(const std::string& siteLine, const std::string& keyCodes) {
        if (!m_display.Start(kServerScreenWidth, kServerScreenHeight)) return Fail("cannot start the server's Xvfb");
        // A terminal that could not reach the display (seen once while other tests started and
        // ended X servers) is started again.
        for (int start = 0; start < 3 && !m_display.WindowNamed("typed-line"); ++start) {
            if (!m_xterm.Start({"/usr/bin/xterm", "-display", m_display.Name(), "-geometry", "100x28+0+0", "-title",
                                "typed-line", "-e", "sh", "-c",
                                "read line; printf '%s' \"$line\" > '" + Out() + "'"},
                               {}, m_dir.file("xterm.stderr"))) {
                return Fail("cannot start xterm");
            }
            (void)QTest::qWaitFor([&] { return m_display.WindowNamed("typed-line").has_value(); },
                                  Millis(kPatience) / 2);
        }
        if (!m_display.WindowNamed("typed-line")) {
            return Fail("no xterm on " + m_display.Name() + "; it said: " + ReadWholeFile(m_dir.file("xterm.stderr")) +
                        "; the display has:\n" + m_display.Output("xwininfo -root -tree"));
        }

        if (!m_server.Start({CORVANE_TESTSERVER_PATH, "--x11", m_display.Name(), "--port", "0", "--once",
                             "--exit-after", "90", "--key-codes", keyCodes, "--log", m_dir.file("server.log")},
                            {}, m_dir.file("server.stderr"))) {
            return Fail("cannot start the test server");
        }
        const std::string listening = m_server.ReadLine();
        if (listening.rfind("listening on ", 0) != 0) return Fail(ReadWholeFile(m_dir.file("server.stderr")));

        m_dir.write("docs/.keep", "");
        const std::string site =
            m_dir.write("install/qel.ini", "[Viewer]\nLogFile client.log\nPrintDebug 1\nColorDepth 24\n"
                                           "VisualClass 4\nCloseDialog 0\nDisplayPort 27500\nMaxScreenWidth 1024\n"
                                           "MaxScreenHeight 768\nBackingStore 0\nAddOptions\n"
                                           "SessionLoginDialog 0\nUseGLPlus 0\n" +
                                               siteLine);
        m_dir.write("registry", "[HKEY_LOCAL_MACHINE\\Software\\Halden Systems]\nQELINI=" + site +
                                    "\nINSTALLPATH=" + m_dir.file("install") + "\n");
        std::string password;
        if (ScrambleText("demo", password) != 0) return Fail("cannot scramble the password");
        const std::string zrp = m_dir.write(
            "session.zrp", "[ZRP Client]\r\nVersionRequired 528\r\nDeviceUserName demo\r\nPassword " + password +
                               "\r\nSessionID 0\r\nDisplayServerAddress 127.0.0.1\r\nDisplayServerName test\r\n"
                               "DisplayServerPort " + listening.substr(13) + "\r\nDisplayBandwidth 1\r\n");
        if (!m_client.Start({CORVANE_CLIENT_PATH, "--exit-after", "90", zrp},
                            {"CORVANE_REGISTRY=" + m_dir.file("registry"), "XDG_DOCUMENTS_DIR=" + m_dir.file("docs"),
                             "HOME=" + m_dir.path()},
                            m_dir.file("client.stderr"))) {
            return Fail("cannot start the client");
        }

        // The window is up and the full screen has been drawn in it.
        if (!QTest::qWaitFor([&] { return ServerLog().find("frame sent n=1 ") != std::string::npos; },
                             Millis(kPatience))) {
            return Fail("no frame sent:\n" + ServerLog());
        }
        if (!QTest::qWaitFor([&] { return (m_window = ClientWindow()).has_value() &&
                                          m_window->width >= kServerScreenWidth / 2; },
                             Millis(kPatience))) {
            return Fail("no client window");
        }
        return true;
    }

    [[nodiscard]] const std::string& Error() const { return m_error; }
    [[nodiscard]] const Place& Window() const { return *m_window; }
    [[nodiscard]] const TestDisplay& Display() const { return m_display; }
    [[nodiscard]] const TempDir& Dir() const { return m_dir; }
    [[nodiscard]] std::string Out() const { return m_dir.file("OUT"); }
    [[nodiscard]] std::string ServerLog() const { return ReadWholeFile(m_dir.file("server.log")); }
    [[nodiscard]] std::string ClientLog() const { return ReadWholeFile(m_dir.file("docs/My Connections/client.log")); }

private:
    bool Fail(const std::string& why) {
        m_error = why;
        return false;
    }

    TestDisplay m_display;
    TempDir m_dir;
    ChildProcess m_xterm;
    ChildProcess m_server;
    ChildProcess m_client;
    std::optional<Place> m_window;
    std::string m_error;
};

// The first line a command wrote on `display`, without its line feed.
std::string FirstLine(const TestDisplay& display, const std::string& command) {
    const std::string text = display.Output(command);
    return text.substr(0, text.find('\n'));
}

// What `xclip -o` finds on the clipboard of `display`.
std::string ClipboardOn(const TestDisplay& display) {
    return display.Output("xclip -o -selection clipboard");
}

// Another program (xclip) takes the clipboard of `display` with the bytes of this file.
void CopyOn(const TestDisplay& display, const std::string& file) {
    (void)display.Output("xclip -selection clipboard -i '" + file + "' >/dev/null");
}

class X11DesktopEndToEndTest : public QObject {
    Q_OBJECT

private slots:
    // The client sends the codes of its built-in key map unless the site file turns it off;
    // the server's keyboard takes either set.
    void LineTypedInTheClientReachesTheXterm_data() {
        QTest::addColumn<QString>("siteLine");
        QTest::addColumn<QString>("keyCodes");
        QTest::newRow("built-in key map") << "" << "map";
        QTest::newRow("keysym table") << "KeyMapNumber 0\n" << "table";
    }

    void LineTypedInTheClientReachesTheXterm() {
        QFETCH(QString, siteLine);
        QFETCH(QString, keyCodes);
        ServedDesktop served;
        QVERIFY2(served.Start(siteLine.toStdString(), keyCodes.toStdString()), served.Error().c_str());
        const Place& window = served.Window();

        // Upper case, digits and punctuation, shifted and not; no backslash, which `read`
        // would take as an escape.
        const std::string line = "Hello, World 42! (A+B=C) ~/x_y?; \"q\" [1] {2} <3> @#$%^&*|'`";
        // No window manager on the server's display: keys go to the window under its pointer,
        // and the xterm covers the middle of the screen.
        RunTool({"/usr/bin/xdotool", "mousemove", std::to_string(window.x + window.width / 2),
                 std::to_string(window.y + window.height / 2)});
        RunTool({"/usr/bin/xdotool", "type", "--delay", "40", line});
        RunTool({"/usr/bin/xdotool", "key", "Return"});

        QTRY_VERIFY2_WITH_TIMEOUT(ReadWholeFile(served.Out()) == line,
                                  ("the xterm read \"" + ReadWholeFile(served.Out()) + "\"").c_str(), Millis(kPatience));
        const std::string log = served.ServerLog();
        QVERIFY2(log.find("key dropped") == std::string::npos, log.c_str());
    }

    // The pointer over the served xterm takes the xterm's cursor there, and the client's
    // window shows the same shape: the same hot spot and the same opaque pixels.
    void TheServedDisplaysCursorIsShownOverTheClientWindow() {
        ServedDesktop served;
        QVERIFY2(served.Start("", "map"), served.Error().c_str());
        const Place& window = served.Window();
        RunTool({"/usr/bin/xdotool", "mousemove", std::to_string(window.x + window.width / 2),
                 std::to_string(window.y + window.height / 2)});
        std::string why;
        const auto same = [&] {
            std::string error;
            const auto servedCursor = testserver::X11Cursor::Open(served.Display().Name(), error);
            const auto shownCursor = testserver::X11Cursor::Open(g_clientDisplay.Name(), error);
            if (!servedCursor || !shownCursor) return why = error, false;
            const std::optional<testserver::CursorPicture> served = servedCursor->Changed();
            const std::optional<testserver::CursorPicture> shown = shownCursor->Changed();
            if (!served || !shown) return why = "no cursor picture", false;
            if (served->hotX != shown->hotX || served->hotY != shown->hotY || shown->width < served->width ||
                shown->height < served->height) {
                why = "served " + std::to_string(served->width) + "x" + std::to_string(served->height) + " hot " +
                      std::to_string(served->hotX) + "," + std::to_string(served->hotY) + ", shown " +
                      std::to_string(shown->width) + "x" + std::to_string(shown->height) + " hot " +
                      std::to_string(shown->hotX) + "," + std::to_string(shown->hotY);
                return false;
            }
            for (int y = 0; y < served->height; ++y) {
                for (int x = 0; x < served->width; ++x) {
                    const bool opaque = served->pixels[static_cast<size_t>(y * served->width + x)] >> 24 >= 0x80;
                    const bool shownOpaque = shown->pixels[static_cast<size_t>(y * shown->width + x)] >> 24 >= 0x80;
                    if (opaque != shownOpaque) return why = "pixel " + std::to_string(x) + "," + std::to_string(y), false;
                }
            }
            return true;
        };
        QTRY_VERIFY2_WITH_TIMEOUT(same(), why.c_str(), Millis(kPatience));
        QVERIFY(served.ServerLog().find("cursor sent width=") != std::string::npos);
    }

    // Text copied on the client's desktop can be pasted on the served display once the client
    // is activated, and text copied there reaches the client's desktop when the client is left.
    void ClipboardTextGoesBothWaysBetweenTheDesktops() {
        ServedDesktop served;
        QVERIFY2(served.Start("PrintDebug 10\n", "map"), served.Error().c_str());
        const TempDir& dir = served.Dir();
        const std::string clientWindow = FirstLine(g_clientDisplay, "xdotool search --onlyvisible --name SID:");
        QVERIFY(!clientWindow.empty());
        // A window of another program, to take the activation from the client.
        ChildProcess other;
        QVERIFY(other.Start({"/usr/bin/xev", "-geometry", "100x60+900+700", "-name", "another program"}, {},
                            "/dev/null"));
        std::string otherWindow;
        QTRY_VERIFY_WITH_TIMEOUT(
            !(otherWindow = FirstLine(g_clientDisplay, "xdotool search --onlyvisible --name 'another program'")).empty(),
            Millis(kPatience));

        // No window manager: the focus follows the pointer until a program sets it, so the
        // pointer rests on the other program's window, and each change of focus is let settle.
        RunTool({"/usr/bin/xdotool", "mousemove", "950", "730"});
        RunTool({"/usr/bin/xdotool", "windowfocus", otherWindow});
        QTest::qWait(500);
        CopyOn(g_clientDisplay, dir.write("local.txt", "copied on the client's desktop\nline 2 <&> 42"));
        RunTool({"/usr/bin/xdotool", "windowfocus", clientWindow});
        QTRY_VERIFY2_WITH_TIMEOUT(ClipboardOn(served.Display()) == "copied on the client's desktop\nline 2 <&> 42",
                                  ("the served display's clipboard holds \"" + ClipboardOn(served.Display()) +
                                   "\"; the server logged:\n" + served.ServerLog() + "\nthe client logged:\n" +
                                   served.ClientLog())
                                      .c_str(),
                                  Millis(kPatience));

        CopyOn(served.Display(), dir.write("served.txt", "copied in the session\n(A+B=C) ~/x_y?"));
        RunTool({"/usr/bin/xdotool", "windowfocus", otherWindow});
        QTRY_COMPARE_WITH_TIMEOUT(ClipboardOn(g_clientDisplay), std::string("copied in the session\n(A+B=C) ~/x_y?"),
                                  Millis(kPatience));
    }
};

int main(int argc, char** argv) {
    if (!g_clientDisplay.Start(kClientScreenWidth, kClientScreenHeight)) {
        std::fprintf(stderr, "cannot start Xvfb\n");
        return 1;
    }
    // The client this test starts shows its window on the display above.
    setenv("DISPLAY", g_clientDisplay.Name().c_str(), 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    setenv("DBUS_SESSION_BUS_ADDRESS", "disabled:", 1);
    QCoreApplication application(argc, argv);
    X11DesktopEndToEndTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "x11_desktop_end_to_end_test.moc"
