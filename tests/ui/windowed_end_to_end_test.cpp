// The windowed client against the test server on a real X server (Xvfb): the window shows
// exactly the screen the server sent, scrolls to the part the user asks for, and Alt+Enter
// turns it into full screen. The test grabs the X screen as a user would see it.
#include <QApplication>
#include <QCursor>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QtTest>
#include <chrono>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "config/scrambled_text.h"
#include "session/child_process.h"
#include "support/temp_dir.h"
#include "test_display.h"
#include "tools/testserver/desktop.h"

using namespace corvane;
using corvane::test::ChildProcess;
using corvane::test::ReadWholeFile;
using corvane::test::TempDir;
using corvane::test::RunTool;
using corvane::test::TestDisplay;

namespace {

constexpr int kScreenWidth = 1024;
constexpr int kScreenHeight = 768;
// Larger than the screen, so the window has to scroll.
constexpr int kSessionWidth = 1280;
constexpr int kSessionHeight = 900;
// Smaller than the screen: the window opens at the session's size.
constexpr int kSmallWidth = 800;
constexpr int kSmallHeight = 600;
constexpr auto kPatience = std::chrono::seconds(20);

TestDisplay g_display;

QImage GrabScreen() { return QGuiApplication::primaryScreen()->grabWindow(0).toImage(); }

// What the test server's desktop shows when nothing moves.
struct Frame {
    Frame(int width, int height)
        : width(width), rgb(testserver::RenderDesktopRgb(testserver::DesktopLayout{width, height, 24,
                                                                                   testserver::kDefaultSeed},
                                                         0)) {}

    [[nodiscard]] QRgb At(int x, int y) const {
        const uint8_t* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
        return qRgb(p[0], p[1], p[2]);
    }

    int width;
    std::vector<uint8_t> rgb;
};

bool Matches(const QImage& shot, const Frame& frame, QPoint origin, QPoint scroll, QSize area) {
    for (int y = 0; y < area.height(); ++y) {
        for (int x = 0; x < area.width(); ++x) {
            if ((shot.pixel(origin.x() + x, origin.y() + y) | 0xFF000000u) != frame.At(scroll.x() + x, scroll.y() + y)) {
                return false;
            }
        }
    }
    return true;
}

// Where the frame's top-left pixel is on the screen, judged by a handful of pixels.
std::optional<QPoint> FindFrame(const QImage& shot, const Frame& frame) {
    const QPoint samples[] = {{0, 0}, {7, 3}, {40, 40}, {200, 100}, {511, 300}, {13, 250}};
    for (int y = 0; y + 301 < shot.height(); ++y) {
        for (int x = 0; x + 512 < shot.width(); ++x) {
            bool all = true;
            for (QPoint s : samples) {
                if ((shot.pixel(x + s.x(), y + s.y()) | 0xFF000000u) != frame.At(s.x(), s.y())) {
                    all = false;
                    break;
                }
            }
            if (all) return QPoint(x, y);
        }
    }
    return std::nullopt;
}

// Where the frame's top-left pixel is on the screen with each remote pixel shown as k x k.
std::optional<QPoint> FindScaledFrame(const QImage& shot, const Frame& frame, int k) {
    const QPoint samples[] = {{0, 0}, {7, 3}, {40, 40}, {200, 100}, {111, 200}, {13, 150}};
    for (int y = 0; y + 240 * k <= shot.height(); ++y) {
        for (int x = 0; x + 320 * k <= shot.width(); ++x) {
            bool all = true;
            for (QPoint s : samples) {
                if ((shot.pixel(x + s.x() * k, y + s.y() * k) | 0xFF000000u) != frame.At(s.x(), s.y())) {
                    all = false;
                    break;
                }
            }
            if (all) return QPoint(x, y);
        }
    }
    return std::nullopt;
}

// Every screen pixel of the picture is its remote pixel, each remote pixel shown k x k.
bool MatchesScaled(const QImage& shot, const Frame& frame, QPoint origin, int k) {
    for (int y = 0; y < 240 * k; ++y) {
        for (int x = 0; x < 320 * k; ++x) {
            if ((shot.pixel(origin.x() + x, origin.y() + y) | 0xFF000000u) != frame.At(x / k, y / k)) return false;
        }
    }
    return true;
}

QString Words(const std::vector<std::string>& items) {
    QStringList words;
    for (const std::string& item : items) words << QString::fromStdString(item);
    return words.join(", ");
}

// The first line a tool printed.
std::string ReadTool(const std::vector<std::string>& args) {
    ChildProcess tool;
    if (!tool.Start(args, {}, "/dev/null")) return {};
    return tool.ReadLine(std::chrono::seconds(5));
}

// An X window's size as xwininfo reports it (only the size is filled in).
QRect XWindowGeometry(const std::string& window) {
    ChildProcess tool;
    if (!tool.Start({"/usr/bin/xwininfo", "-id", window}, {}, "/dev/null")) return {};
    int width = 0;
    int height = 0;
    for (int lines = 0; lines < 40 && height == 0; ++lines) {
        const std::string line = tool.ReadLine(std::chrono::seconds(5));
        if (line.find("Width:") != std::string::npos) width = std::atoi(line.c_str() + line.find(':') + 1);
        if (line.find("Height:") != std::string::npos) height = std::atoi(line.c_str() + line.find(':') + 1);
    }
    return QRect(0, 0, width, height);
}

}  // namespace

// The test server and the windowed client, for one session of the given size.
class WindowedSession {
public:
    // `siteLines`: more lines of the site file's [Viewer] section.
    // `environment`: more variables for the client.
    bool Start(int width, int height, const std::string& scenario = {}, const std::string& siteLines = {},
               const std::vector<std::string>& environment = {}) {
        std::vector<std::string> server = {CORVANE_TESTSERVER_PATH, "--port", "0", "--once", "--exit-after", "60",
                                           "--static", "--geometry", std::to_string(width) + "x" + std::to_string(height),
                                           "--log", m_dir.file("server.log")};
        if (!scenario.empty()) {
            server.push_back("--scenario");
            server.push_back(m_dir.write("scenario.txt", scenario));
        }
        if (!m_server.Start(server, {}, m_dir.file("server.stderr"))) {
            return false;
        }
        const std::string listening = m_server.ReadLine();
        if (listening.rfind("listening on ", 0) != 0) return false;
        const std::string port = listening.substr(13);

        m_dir.write("docs/.keep", "");
        const std::string site = m_dir.write("install/qel.ini",
                                             "[Viewer]\nLogFile client.log\nPrintDebug 1\nColorDepth 24\n"
                                             "VisualClass 4\nCloseDialog 0\nDisplayPort 27500\nMaxScreenWidth 1024\nMaxScreenHeight 768\nBackingStore 0\nAddOptions\nSessionLoginDialog 0\nUseGLPlus 0\n" +
                                                 siteLines);
        m_dir.write("registry", "[HKEY_LOCAL_MACHINE\\Software\\Halden Systems]\nQELINI=" + site +
                                    "\nINSTALLPATH=" + m_dir.file("install") + "\n");
        std::string password;
        if (ScrambleText("demo", password) != 0) return false;
        const std::string zrp = m_dir.write(
            "session.zrp", "[ZRP Client]\r\nVersionRequired 528\r\nDeviceUserName demo\r\nPassword " + password +
                               "\r\nSessionID 0\r\nDisplayServerAddress 127.0.0.1\r\nDisplayServerName test\r\n"
                               "DisplayServerPort " + port + "\r\nDisplayBandwidth 1\r\n");
        std::vector<std::string> variables = {"CORVANE_REGISTRY=" + m_dir.file("registry"),
                                              "XDG_DOCUMENTS_DIR=" + m_dir.file("docs"), "HOME=" + m_dir.path(),
                                              "XDG_CONFIG_HOME=" + m_dir.file(".config")};
        variables.insert(variables.end(), environment.begin(), environment.end());
        return m_client.Start({CORVANE_CLIENT_PATH, "--exit-after", "60", zrp}, variables, m_dir.file("client.stderr"));
    }

    // The key records the server has logged so far, as "code kind" words.
    [[nodiscard]] std::vector<std::string> KeysLogged() const {
        std::vector<std::string> keys;
        const std::string log = ReadWholeFile(m_dir.file("server.log"));
        for (size_t at = log.find("key code="); at != std::string::npos; at = log.find("key code=", at + 1)) {
            const size_t end = log.find('\n', at);
            const std::string line = log.substr(at, end - at);
            const size_t kind = line.find(" kind=");
            keys.push_back(line.substr(9, line.find(' ', 9) - 9) + " " + line.substr(kind + 6));
        }
        return keys;
    }
    // The key records logged after the first `skip`, as "code flags kind" words.
    [[nodiscard]] std::vector<std::string> KeysWithFlags(size_t skip = 0) const {
        std::vector<std::string> keys;
        const std::string log = ReadWholeFile(m_dir.file("server.log"));
        for (size_t at = log.find("key code="); at != std::string::npos; at = log.find("key code=", at + 1)) {
            const std::string line = log.substr(at, log.find('\n', at) - at);
            const size_t flags = line.find(" flags=");
            const size_t kind = line.find(" kind=");
            keys.push_back(line.substr(9, flags - 9) + " " + line.substr(flags + 7, kind - flags - 7) + " " +
                           line.substr(kind + 6));
        }
        keys.erase(keys.begin(), keys.begin() + static_cast<long>(std::min(skip, keys.size())));
        return keys;
    }
    [[nodiscard]] std::string ServerLog() const { return ReadWholeFile(m_dir.file("server.log")); }
    // A file of the client's home folder, written before the client starts.
    void WriteHomeFile(const std::string& name, const std::string& text) { (void)m_dir.write(name, text); }

private:
    TempDir m_dir;
    ChildProcess m_server;
    ChildProcess m_client;
};

class WindowedEndToEndTest : public QObject {
    Q_OBJECT

private slots:
    void SmallSessionShowsWhole() {
        WindowedSession session;
        QVERIFY(session.Start(kSmallWidth, kSmallHeight));
        const Frame frame(kSmallWidth, kSmallHeight);
        std::optional<QPoint> origin;
        QTRY_VERIFY_WITH_TIMEOUT((origin = FindFrame(GrabScreen(), frame)).has_value(),
                                 std::chrono::milliseconds(kPatience).count());
        // Every pixel of the session is on the screen, with no scroll bar over any of it.
        QVERIFY(Matches(GrabScreen(), frame, *origin, {0, 0}, {kSmallWidth, kSmallHeight}));
    }

    void TypedKeysReachTheServerAsTheKeysTheyAre() {
        WindowedSession session;
        QVERIFY(session.Start(kSmallWidth, kSmallHeight));
        const Frame frame(kSmallWidth, kSmallHeight);
        std::optional<QPoint> origin;
        QTRY_VERIFY_WITH_TIMEOUT((origin = FindFrame(GrabScreen(), frame)).has_value(),
                                 std::chrono::milliseconds(kPatience).count());
        // The keys go to the window under the pointer; Alt+S is the session's, not the menu's.
        RunTool({"/usr/bin/xdotool", "mousemove", std::to_string(origin->x() + 50), std::to_string(origin->y() + 50)});
        RunTool({"/usr/bin/xdotool", "type", "--delay", "30", "ab1"});
        RunTool({"/usr/bin/xdotool", "key", "Tab", "Return", "alt+s"});
        // The built-in key map: the PC key codes (scan code + 8).
        const std::vector<std::string> expected = {
            "38 press", "38 release", "56 press", "56 release", "10 press", "10 release", "23 press", "23 release",
            "36 press", "36 release", "64 press", "39 press", "64 release", "39 release"};
        QTRY_VERIFY_WITH_TIMEOUT(session.KeysLogged().size() >= expected.size(),
                                 std::chrono::milliseconds(kPatience).count());
        const std::vector<std::string> keys = session.KeysLogged();
        QCOMPARE(std::vector<std::string>(keys.begin(), keys.begin() + static_cast<long>(expected.size())), expected);
        QVERIFY2(session.ServerLog().find("key code=39 flags=8 kind=press") != std::string::npos ||
                     session.ServerLog().find("key code=39 flags=24 kind=press") != std::string::npos,
                 "S was sent with Alt held");
    }

    // Lock keys, the keypad in both Num Lock states, arrows and function keys as the server gets
    // them; a held Shift; the hot keys that stay in the client; local mode; and the releases
    // when another window takes the keyboard.
    void KeysLocksHotKeysAndLocalMode() {
        WindowedSession session;
        QVERIFY(session.Start(kSmallWidth, kSmallHeight));
        const Frame frame(kSmallWidth, kSmallHeight);
        std::optional<QPoint> origin;
        QTRY_VERIFY_WITH_TIMEOUT((origin = FindFrame(GrabScreen(), frame)).has_value(),
                                 std::chrono::milliseconds(kPatience).count());
        const auto typed = [&](const std::vector<std::string>& keys, const std::vector<std::string>& expected) {
            const size_t before = session.KeysWithFlags().size();
            std::vector<std::string> args = {"/usr/bin/xdotool", "key", "--delay", "40"};
            args.insert(args.end(), keys.begin(), keys.end());
            RunTool(args);
            // The records arrive; then a moment for any that should not have been sent.
            const auto deadline = std::chrono::steady_clock::now() + kPatience;
            while (session.KeysWithFlags(before).size() < expected.size() && std::chrono::steady_clock::now() < deadline) {
                QTest::qWait(50);
            }
            QTest::qWait(300);
            return Words(session.KeysWithFlags(before));
        };
        RunTool({"/usr/bin/xdotool", "mousemove", std::to_string(origin->x() + 50), std::to_string(origin->y() + 50)});

        // Caps Lock reports the state it leaves; the keypad's End key is 1 with Num Lock (both
        // code 87: the key map tells them by the flag only); arrows and F-keys by their codes.
        const std::vector<std::string> locks = {
            "66 2 press", "66 2 release", "38 2 press", "38 2 release", "66 0 press", "66 0 release",
            "87 0 press", "87 0 release", "77 16 press", "77 16 release", "87 16 press", "87 16 release",
            "77 0 press", "77 0 release", "100 0 press", "100 0 release", "67 0 press", "67 0 release",
            "96 0 press", "96 0 release"};
        QCOMPARE(typed({"Caps_Lock", "a", "Caps_Lock", "KP_End", "Num_Lock", "KP_End", "Num_Lock", "Left", "F1", "F12"},
                       locks),
                 Words(locks));

        // Shift held for a second: one press, one release.
        {
            const size_t before = session.KeysWithFlags().size();
            RunTool({"/usr/bin/xdotool", "keydown", "shift", "sleep", "1", "keyup", "shift"});
            QTRY_VERIFY_WITH_TIMEOUT(session.KeysWithFlags(before).size() >= 2, std::chrono::milliseconds(kPatience).count());
            QTest::qWait(300);
            QCOMPARE(Words(session.KeysWithFlags(before)), QString("50 1 press, 50 0 release"));
        }

        // Shift+F12: the statistics window opens and the server gets only the Shift.
        QCOMPARE(typed({"shift+F12"}, {"", ""}), QString("50 1 press, 50 0 release"));
        QTRY_VERIFY_WITH_TIMEOUT(!ReadTool({"/usr/bin/xdotool", "search", "--name", "Session Statistics"}).empty(),
                                 std::chrono::milliseconds(kPatience).count());

        // Shift+F5: local mode keeps keys and clicks in the client until Shift+F5 again. (The
        // statistics window took the keyboard: it goes back to the main window first.)
        RunTool({"/usr/bin/xdotool", "mousemove", std::to_string(origin->x() + 60), std::to_string(origin->y() + 60)});
        const std::string location = ReadTool({"/usr/bin/xdotool", "getmouselocation"});
        QVERIFY(location.find("window:") != std::string::npos);
        RunTool({"/usr/bin/xdotool", "windowfocus", location.substr(location.find("window:") + 7)});
        QTest::qWait(300);
        QCOMPARE(typed({"shift+F5"}, {"", ""}), QString("50 1 press, 50 0 release"));
        const size_t inLocalMode = session.KeysWithFlags().size();
        RunTool({"/usr/bin/xdotool", "key", "a", "mousemove", std::to_string(origin->x() + 70),
                 std::to_string(origin->y() + 71), "click", "1"});
        QTest::qWait(500);
        QCOMPARE(session.KeysWithFlags(inLocalMode).size(), size_t{0});
        QVERIFY(session.ServerLog().find("pointer x=70 y=71 ") == std::string::npos);
        // xdotool lets Shift go before F5: the Shift, pressed and released in local mode, stays too.
        QCOMPARE(typed({"shift+F5", "b"}, {"", ""}), QString("56 0 press, 56 0 release"));

        // Another window takes the keyboard: the server hears every modifier released.
        QWidget other;
        other.setWindowTitle("other");
        other.setGeometry(900, 700, 100, 60);
        other.show();
        QVERIFY(QTest::qWaitForWindowExposed(&other));
        const size_t beforeFocus = session.KeysWithFlags().size();
        RunTool({"/usr/bin/xdotool", "search", "--name", "^other$", "windowfocus"});
        const std::vector<std::string> releases = {"37 0 release", "109 0 release", "64 0 release",
                                                   "113 0 release", "50 0 release", "62 0 release"};
        QTRY_VERIFY_WITH_TIMEOUT(session.KeysWithFlags(beforeFocus).size() >= releases.size(),
                                 std::chrono::milliseconds(kPatience).count());
        QCOMPARE(Words(session.KeysWithFlags(beforeFocus)), Words(releases));
    }

    void TheServerMovesThePointerAndItsEchoIsNotSentBack() {
        WindowedSession session;
        // The static desktop sends its one picture and then nothing; the warp comes once the
        // test has found the picture and put the pointer on it, also on a slow sanitized run.
        QVERIFY(session.Start(kSmallWidth, kSmallHeight, "after-ms 5000 warp 40 30\n"));
        const Frame frame(kSmallWidth, kSmallHeight);
        std::optional<QPoint> origin;
        QTRY_VERIFY_WITH_TIMEOUT((origin = FindFrame(GrabScreen(), frame)).has_value(),
                                 std::chrono::milliseconds(kPatience).count());
        RunTool({"/usr/bin/xdotool", "mousemove", std::to_string(origin->x() + 5), std::to_string(origin->y() + 5)});
        QTRY_VERIFY_WITH_TIMEOUT(QCursor::pos() == *origin + QPoint(40, 30), std::chrono::milliseconds(kPatience).count());
        // The move the warp made is not reported; the next real one is.
        QTest::qWait(300);
        QVERIFY(session.ServerLog().find("pointer x=40 y=30 ") == std::string::npos);
        RunTool({"/usr/bin/xdotool", "mousemove", std::to_string(origin->x() + 41), std::to_string(origin->y() + 30)});
        QTRY_VERIFY_WITH_TIMEOUT(session.ServerLog().find("pointer x=41 y=30 ") != std::string::npos,
                                 std::chrono::milliseconds(kPatience).count());
    }

    void LargeSessionScrollsAndGoesFullScreen() {
        WindowedSession session;
        QVERIFY(session.Start(kSessionWidth, kSessionHeight));
        const Frame frame(kSessionWidth, kSessionHeight);
        std::optional<QPoint> origin;
        QTRY_VERIFY_WITH_TIMEOUT((origin = FindFrame(GrabScreen(), frame)).has_value(),
                                 std::chrono::milliseconds(kPatience).count());

        // The view ends where the scroll bars begin; everything before them is the frame.
        QImage shot = GrabScreen();
        int right = origin->x();
        while (right < shot.width() && (shot.pixel(right, origin->y() + 5) | 0xFF000000u) ==
                                           frame.At(right - origin->x(), 5)) {
            ++right;
        }
        int bottom = origin->y();
        while (bottom < shot.height() && (shot.pixel(origin->x() + 5, bottom) | 0xFF000000u) ==
                                             frame.At(5, bottom - origin->y())) {
            ++bottom;
        }
        const QSize view(right - origin->x(), bottom - origin->y());
        QVERIFY2(view.width() < kSessionWidth && view.height() < kSessionHeight, "the window should need scrolling");
        QVERIFY(Matches(shot, frame, *origin, {0, 0}, view));

        // A click in the horizontal bar's trough pages right.
        RunTool({"/usr/bin/xdotool", "mousemove", std::to_string(right - 40), std::to_string(bottom + 6), "click",
                 "1"});
        const QPoint paged(std::min(view.width(), kSessionWidth - view.width()), 0);
        QTRY_VERIFY_WITH_TIMEOUT(Matches(GrabScreen(), frame, *origin, paged, view),
                                 std::chrono::milliseconds(kPatience).count());

        // A click in the scrolled view lands on the remote pixel under it.
        RunTool({"/usr/bin/xdotool", "mousemove", std::to_string(origin->x() + 10), std::to_string(origin->y() + 10),
                 "click", "1"});
        const std::string pressed =
            "pointer x=" + std::to_string(10 + paged.x()) + " y=10 screen-x=" + std::to_string(origin->x() + 10) +
            " screen-y=" + std::to_string(origin->y() + 10) + " button=1 action=press";
        QTRY_VERIFY_WITH_TIMEOUT(session.ServerLog().find(pressed) != std::string::npos,
                                 std::chrono::milliseconds(kPatience).count());
        QVERIFY(session.ServerLog().find("button=1 action=release") != std::string::npos);

        // Alt+Enter: the top-left of the session fills the whole screen, without a frame.
        RunTool({"/usr/bin/xdotool", "mousemove", std::to_string(origin->x() + 100), std::to_string(origin->y() + 100),
                 "key", "alt+Return"});
        QTRY_VERIFY_WITH_TIMEOUT(Matches(GrabScreen(), frame, {0, 0}, {0, 0}, {kScreenWidth, kScreenHeight}),
                                 std::chrono::milliseconds(kPatience).count());

        // Alt+Enter again: the framed window comes back at its size and place, even with no
        // window manager to remember them.
        RunTool({"/usr/bin/xdotool", "key", "alt+Return"});
        QTRY_VERIFY_WITH_TIMEOUT(Matches(GrabScreen(), frame, *origin, {0, 0}, view),
                                 std::chrono::milliseconds(kPatience).count());
        QVERIFY(!Matches(GrabScreen(), frame, *origin, {0, 0}, {view.width() + 40, view.height()}));
    }

    // On a screen of two device pixels per logical pixel: one remote pixel per device pixel by
    // default, two with "Double Size", as many as fit with "Scale to Window"; a click lands on
    // the remote pixel under it in each.
    void ScaledScreenShowsTheSessionAtEachScale() {
        constexpr int kWidth = 320;
        constexpr int kHeight = 240;
        const Frame frame(kWidth, kHeight);
        const auto clicked = [](WindowedSession& session, QPoint at, QPoint remote) {
            RunTool({"/usr/bin/xdotool", "mousemove", std::to_string(at.x()), std::to_string(at.y()), "click", "1"});
            const std::string pressed =
                "pointer x=" + std::to_string(remote.x()) + " y=" + std::to_string(remote.y()) + " ";
            QTRY_VERIFY2_WITH_TIMEOUT(session.ServerLog().find(pressed) != std::string::npos,
                                      qPrintable(QString::fromStdString(pressed + "not in:\n" + session.ServerLog())),
                                      std::chrono::milliseconds(kPatience).count());
        };
        for (const char* scale : {"actual-pixels", "double", "fit-window"}) {
            qInfo("scale %s", scale);
            WindowedSession session;
            session.WriteHomeFile(".config/Corvane/corvane.conf", std::string("[View]\nScale=") + scale + "\n");
            QVERIFY(session.Start(kWidth, kHeight, {}, {}, {"QT_SCALE_FACTOR=2"}));
            const int k = std::string(scale) == "double" ? 2 : 1;
            std::optional<QPoint> origin;
            QTRY_VERIFY_WITH_TIMEOUT((origin = FindScaledFrame(GrabScreen(), frame, k)).has_value(),
                                     std::chrono::milliseconds(kPatience).count());
            QVERIFY(MatchesScaled(GrabScreen(), frame, *origin, k));
            if (std::string(scale) != "fit-window") {
                // On an even device pixel: Qt rounds pointer places to whole logical pixels.
                clicked(session, *origin + QPoint(k * 20, k * 10), {20, 10});
                if (QTest::currentTestFailed()) return;
                continue;
            }
            // Half as large again: the picture grows with the window and the pointer follows.
            RunTool({"/usr/bin/xdotool", "mousemove", std::to_string(origin->x() + 5), std::to_string(origin->y() + 5)});
            const std::string location = ReadTool({"/usr/bin/xdotool", "getmouselocation"});
            QVERIFY(location.find("window:") != std::string::npos);
            const std::string window = location.substr(location.find("window:") + 7);
            const QRect before = XWindowGeometry(window);
            RunTool({"/usr/bin/xdotool", "windowsize", window, std::to_string(kWidth * 3 / 2),
                     std::to_string(before.height() - kHeight + kHeight * 3 / 2)});
            QTRY_VERIFY_WITH_TIMEOUT(XWindowGeometry(window).width() == kWidth * 3 / 2,
                                     std::chrono::milliseconds(kPatience).count());
            QTest::qWait(300);
            QVERIFY(!MatchesScaled(GrabScreen(), frame, *origin, 1));
            clicked(session, *origin + QPoint(30, 16), {20, 10});
        }
    }

    // Under a window manager that keeps Alt+Tab for itself: with the keyboard grabbed the
    // session gets it; Shift+F11 lets the grab go and the window manager has it again. Last,
    // because the window manager stays on the X server only for this test.
    void GrabbedKeyboardTakesTheWindowManagersKeys() {
        QVERIFY(g_display.StartWindowManager());
        struct StopAtEnd {
            ~StopAtEnd() { g_display.StopWindowManager(); }
        } stopAtEnd;
        WindowedSession session;
        QVERIFY(session.Start(kSmallWidth, kSmallHeight, {}, "GrabKeyboard 1\n"));
        const Frame frame(kSmallWidth, kSmallHeight);
        std::optional<QPoint> origin;
        QTRY_VERIFY_WITH_TIMEOUT((origin = FindFrame(GrabScreen(), frame)).has_value(),
                                 std::chrono::milliseconds(kPatience).count());
        RunTool({"/usr/bin/xdotool", "mousemove", std::to_string(origin->x() + 50), std::to_string(origin->y() + 50),
                 "click", "1"});
        QTRY_VERIFY_WITH_TIMEOUT(!ReadTool({"/usr/bin/xdotool", "search", "--name", "Keyboard grabbed"}).empty(),
                                 std::chrono::milliseconds(kPatience).count());

        const auto sent = [&](const std::vector<std::string>& keys, size_t count) {
            const size_t before = session.KeysWithFlags().size();
            std::vector<std::string> args = {"/usr/bin/xdotool", "key", "--delay", "40"};
            args.insert(args.end(), keys.begin(), keys.end());
            RunTool(args);
            const auto deadline = std::chrono::steady_clock::now() + kPatience;
            while (session.KeysWithFlags(before).size() < count && std::chrono::steady_clock::now() < deadline) {
                QTest::qWait(50);
            }
            QTest::qWait(500);
            return Words(session.KeysWithFlags(before));
        };
        // (xdotool lets the keys go in the order it pressed them.)
        QCOMPARE(sent({"alt+Tab"}, 4), QString("64 8 press, 23 8 press, 64 0 release, 23 0 release"));

        // Shift+F11: the grab ends (the server sees only the Shift) and the title says so.
        QCOMPARE(sent({"shift+F11"}, 2), QString("50 1 press, 50 0 release"));
        QTRY_VERIFY_WITH_TIMEOUT(ReadTool({"/usr/bin/xdotool", "search", "--name", "Keyboard grabbed"}).empty(),
                                 std::chrono::milliseconds(kPatience).count());
        // The window manager's Alt+Tab: the server gets the Alt and, when the window manager
        // takes the keyboard, the Alt's release (which goes to the window manager), never the Tab.
        const QString ungrabbed = sent({"alt+Tab"}, 2);
        QVERIFY2(ungrabbed.startsWith("64 8 press, ") && ungrabbed.contains("64 0 release") &&
                     !ungrabbed.contains("23 8 press") && !ungrabbed.contains("23 0 press"),
                 qPrintable(ungrabbed));
    }
};

int main(int argc, char** argv) {
    if (!g_display.Start(kScreenWidth, kScreenHeight)) {
        std::fprintf(stderr, "cannot start Xvfb\n");
        return 1;
    }
    // This process and the client it starts both use the X server above.
    setenv("DISPLAY", g_display.Name().c_str(), 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    // No session bus: without one the bus library would start a bus daemon on the test's X
    // server, which outlives the test, and keep a buffer the leak checker reports.
    setenv("DBUS_SESSION_BUS_ADDRESS", "disabled:", 1);
    QApplication application(argc, argv);
    WindowedEndToEndTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "windowed_end_to_end_test.moc"
