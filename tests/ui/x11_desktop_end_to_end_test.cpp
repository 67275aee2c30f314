// The test server serving a real X display: an xterm runs on the server's own Xvfb, the real
// client shows that display in its window on another Xvfb, and a line typed into the
// client's window arrives in the xterm exactly as it was typed (case, digits, punctuation),
// which only happens when the server's keymap gives each key code the key the client meant.
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
        TestDisplay serverDisplay;
        QVERIFY(serverDisplay.Start(kServerScreenWidth, kServerScreenHeight));
        TempDir dir;
        const std::string out = dir.file("OUT");
        ChildProcess xterm;
        QVERIFY(xterm.Start({"/usr/bin/xterm", "-display", serverDisplay.Name(), "-geometry", "100x28+0+0", "-title",
                             "typed-line", "-e", "sh", "-c", "read line; printf '%s' \"$line\" > '" + out + "'"},
                            {}, dir.file("xterm.stderr")));
        QTRY_VERIFY2_WITH_TIMEOUT(serverDisplay.WindowNamed("typed-line").has_value(),
                                  ("no xterm on " + serverDisplay.Name() + "; it said: " +
                                   ReadWholeFile(dir.file("xterm.stderr")) + "; the display has:\n" +
                                   serverDisplay.Output("xwininfo -root -tree"))
                                      .c_str(),
                                  Millis(kPatience));

        ChildProcess server;
        QVERIFY(server.Start({CORVANE_TESTSERVER_PATH, "--x11", serverDisplay.Name(), "--port", "0", "--once",
                              "--exit-after", "90", "--key-codes", keyCodes.toStdString(), "--log",
                              dir.file("server.log")},
                             {}, dir.file("server.stderr")));
        const std::string listening = server.ReadLine();
        QVERIFY2(listening.rfind("listening on ", 0) == 0, ReadWholeFile(dir.file("server.stderr")).c_str());

        dir.write("docs/.keep", "");
        const std::string site =
            dir.write("install/qel.ini", "[Viewer]\nLogFile client.log\nPrintDebug 1\nColorDepth 24\n"
                                         "VisualClass 4\nCloseDialog 0\nDisplayPort 27500\nMaxScreenWidth 1024\n"
                                         "MaxScreenHeight 768\nBackingStore 0\nAddOptions\n"
                                         "SessionLoginDialog 0\nUseGLPlus 0\n" +
                                             siteLine.toStdString());
        dir.write("registry", "[HKEY_LOCAL_MACHINE\\Software\\Halden Systems]\nQELINI=" + site +
                                  "\nINSTALLPATH=" + dir.file("install") + "\n");
        std::string password;
        QCOMPARE(ScrambleText("demo", password), 0);
        const std::string zrp = dir.write(
            "session.zrp", "[ZRP Client]\r\nVersionRequired 528\r\nDeviceUserName demo\r\nPassword " + password +
                               "\r\nSessionID 0\r\nDisplayServerAddress 127.0.0.1\r\nDisplayServerName test\r\n"
                               "DisplayServerPort " + listening.substr(13) + "\r\nDisplayBandwidth 1\r\n");
        ChildProcess client;
        QVERIFY(client.Start({CORVANE_CLIENT_PATH, "--exit-after", "90", zrp},
                             {"CORVANE_REGISTRY=" + dir.file("registry"), "XDG_DOCUMENTS_DIR=" + dir.file("docs"),
                              "HOME=" + dir.path()},
                             dir.file("client.stderr")));

        // The window is up and the full screen has been drawn in it.
        QTRY_VERIFY_WITH_TIMEOUT(ReadWholeFile(dir.file("server.log")).find("frame sent n=1 ") != std::string::npos,
                                 Millis(kPatience));
        std::optional<Place> window;
        QTRY_VERIFY_WITH_TIMEOUT((window = ClientWindow()).has_value() && window->width >= kServerScreenWidth / 2,
                                 Millis(kPatience));

        // Upper case, digits and punctuation, shifted and not; no backslash, which `read`
        // would take as an escape.
        const std::string line = "Hello, World 42! (A+B=C) ~/x_y?; \"q\" [1] {2} <3> @#$%^&*|'`";
        // No window manager on the server's display: keys go to the window under its pointer,
        // and the xterm covers the middle of the screen.
        RunTool({"/usr/bin/xdotool", "mousemove", std::to_string(window->x + window->width / 2),
                 std::to_string(window->y + window->height / 2)});
        RunTool({"/usr/bin/xdotool", "type", "--delay", "40", line});
        RunTool({"/usr/bin/xdotool", "key", "Return"});

        QTRY_VERIFY2_WITH_TIMEOUT(ReadWholeFile(out) == line, ("the xterm read \"" + ReadWholeFile(out) + "\"").c_str(),
                                  Millis(kPatience));
        const std::string log = ReadWholeFile(dir.file("server.log"));
        QVERIFY2(log.find("key dropped") == std::string::npos, log.c_str());
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
