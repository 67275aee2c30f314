// The clipboard of the windowed client against the test server on a real X server (Xvfb),
// with xclip as the other program: text copied on the desktop reaches the session when the
// client's window becomes active, the session's text is on the desktop's clipboard once the
// window is left, a megabyte goes both ways intact, the server's metafile is offered as a
// picture, and a collaborator exchanges nothing.
#include <QApplication>
#include <QtTest>
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "clipboard/emf_fixture.h"
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

constexpr int kPatienceMs = 20000;
// The session's clipboard is set this long after the login, once the client's own text (sent
// when its window opened) has arrived: what the client sends replaces the session's clipboard.
constexpr const char* kLater = "after-ms 3000 ";

std::string FirstLine(const std::vector<std::string>& args) {
    ChildProcess tool;
    if (!tool.Start(args, {}, "/dev/null")) return {};
    std::string line = tool.ReadLine(std::chrono::seconds(5));
    (void)tool.Wait();
    return line;
}

// What another program finds on the desktop's clipboard (or primary selection), as `target`.
std::string DesktopClipboard(const TempDir& dir, const std::string& target = "UTF8_STRING",
                             const std::string& selection = "clipboard") {
    const std::string out = dir.file("xclip.out");
    RunTool({"/bin/sh", "-c", "/usr/bin/xclip -o -selection " + selection + " -t " + target + " > '" + out + "'"});
    return ReadWholeFile(out);
}

// Another program (xclip) takes the clipboard (or primary selection) with the bytes of this file.
void CopyOnTheDesktop(const std::string& path, const std::string& selection = "clipboard") {
    RunTool({"/usr/bin/xclip", "-selection", selection, "-i", path});
}

std::string Crc32(const std::string& bytes) {
    char text[16];
    std::snprintf(text, sizeof text, "%08lx",
                  crc32(0, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
    return text;
}

size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

// A window of another program (xev), to take the activation from the client.
class OtherWindow {
public:
    OtherWindow() {
        m_program.Start({"/usr/bin/xev", "-geometry", "200x100+700+600", "-name", "another program"}, {},
                        "/dev/null");
        for (int i = 0; i < 100 && m_window.empty(); ++i) {
            m_window = FirstLine({"/usr/bin/xdotool", "search", "--onlyvisible", "--name", "another program"});
            if (m_window.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    void Focus() { RunTool({"/usr/bin/xdotool", "windowfocus", m_window}); }

private:
    ChildProcess m_program;
    std::string m_window;
};

}  // namespace

class ClipboardSession {
public:
    // `sessionId` other than 0 joins that session as a collaborator; `siteLines` go into the
    // site file's [Viewer] section.
    bool Start(const std::string& scenario, int sessionId = 0, const std::string& siteLines = {}) {
        std::vector<std::string> server = {CORVANE_TESTSERVER_PATH, "--port", "0", "--once", "--exit-after", "90",
                                           "--static", "--geometry", "800x600", "--log", m_dir.file("server.log")};
        if (!scenario.empty()) {
            server.push_back("--scenario");
            server.push_back(m_dir.write("scenario.txt", scenario));
        }
        if (!m_server.Start(server, {}, m_dir.file("server.stderr"))) return false;
        const std::string listening = m_server.ReadLine();
        if (listening.rfind("listening on ", 0) != 0) return false;
        const std::string port = listening.substr(13);
        m_dir.write("docs/.keep", "");
        const std::string site = m_dir.write("install/qel.ini",
                                             "[Viewer]\nLogFile client.log\nPrintDebug 10\nColorDepth 24\n"
                                             "VisualClass 4\nCloseDialog 0\nDisplayPort 27500\nMaxScreenWidth 1024\nMaxScreenHeight 768\nBackingStore 0\nAddOptions\nSessionLoginDialog 0\nUseGLPlus 0\n" +
                                                 siteLines);
        m_dir.write("registry", "[HKEY_LOCAL_MACHINE\\Software\\Halden Systems]\nQELINI=" + site +
                                    "\nINSTALLPATH=" + m_dir.file("install") + "\n");
        std::string password;
        if (ScrambleText("demo", password) != 0) return false;
        const std::string zrp = m_dir.write(
            "session.zrp", "[ZRP Client]\r\nVersionRequired 528\r\nDeviceUserName demo\r\nPassword " + password +
                               "\r\nSessionID " + std::to_string(sessionId) +
                               "\r\nDisplayServerAddress 127.0.0.1\r\nDisplayServerName test\r\n"
                               "DisplayServerPort " + port + "\r\nDisplayBandwidth 1\r\n"
                               "DisplayWidth 800\r\nDisplayHeight 600\r\n");
        return m_client.Start({CORVANE_CLIENT_PATH, "--exit-after", "90", zrp},
                              {"CORVANE_REGISTRY=" + m_dir.file("registry"), "XDG_DOCUMENTS_DIR=" + m_dir.file("docs"),
                               "HOME=" + m_dir.path()},
                              m_dir.file("client.stderr"));
    }

    [[nodiscard]] std::string ServerLog() const { return ReadWholeFile(m_dir.file("server.log")); }
    [[nodiscard]] const TempDir& Dir() const { return m_dir; }

    // The client's session window (its title names the session), once it is shown.
    [[nodiscard]] std::string Window() const {
        return FirstLine({"/usr/bin/xdotool", "search", "--onlyvisible", "--name", "SID:"});
    }
    void Focus() const { RunTool({"/usr/bin/xdotool", "windowfocus", Window()}); }

private:
    TempDir m_dir;
    ChildProcess m_server;
    ChildProcess m_client;
};

class ClipboardEndToEndTest : public QObject {
    Q_OBJECT

private slots:
    void TextGoesOnActivationAndComesBackWhenTheWindowIsLeft() {
        TempDir dir;
        OtherWindow other;
        other.Focus();
        CopyOnTheDesktop(dir.write("local.txt", "local text \xC3\xA9 \xE2\x82\xAC"));
        ClipboardSession session;
        QVERIFY(session.Start(std::string(kLater) + "clipboard-set Hello from the session\\nsecond line caf\\xE9 \\x80\n"));

        // The window opens active: the desktop's text goes to the session, in Windows-1252.
        QTRY_VERIFY_WITH_TIMEOUT(session.ServerLog().find("clipboard len=14 text=\"local text \\xE9 \\x80\"") !=
                                     std::string::npos,
                                 kPatienceMs);
        QTRY_VERIFY_WITH_TIMEOUT(!session.Window().empty(), kPatienceMs);
        QTRY_VERIFY_WITH_TIMEOUT(session.ServerLog().find("action clipboard-set") != std::string::npos, kPatienceMs);

        // Another program takes the activation: the client asks, and the session's answer is
        // what the desktop's clipboard holds.
        other.Focus();
        QTRY_COMPARE_WITH_TIMEOUT(DesktopClipboard(dir), std::string("Hello from the session\nsecond line caf\xC3\xA9 \xE2\x82\xAC"),
                                  kPatienceMs);
        std::string log = session.ServerLog();
        const size_t request = log.find("clipboard request");
        QVERIFY(request != std::string::npos);
        // The request goes out before the held keys are released.
        QVERIFY(log.find("kind=release", 0) > request);

        // Coming back sends nothing: the clipboard holds the session's own text.
        session.Focus();
        QTest::qWait(1500);
        QCOMPARE(Count(session.ServerLog(), "clipboard len="), size_t{1});

        // Copied on the desktop meanwhile: the next activation sends it.
        other.Focus();
        QTRY_COMPARE_WITH_TIMEOUT(Count(session.ServerLog(), "clipboard request"), size_t{2}, kPatienceMs);
        CopyOnTheDesktop(dir.write("local2.txt", "second copy\r\nwith a line"));
        session.Focus();
        QTRY_VERIFY_WITH_TIMEOUT(session.ServerLog().find("clipboard len=23 text=\"second copy\\nwith a line\"") !=
                                     std::string::npos,
                                 kPatienceMs);
    }

    void AMegabyteGoesBothWaysIntact() {
        // The same lines as UTF-8 on the desktop and as Windows-1252 on the wire.
        std::string localOut, wireOut, localIn, wireIn;
        for (int i = 0; localOut.size() < 1'048'576; ++i) {
            const std::string n = std::to_string(i);
            localOut += "line " + n + ": caf\xC3\xA9 na\xC3\xAFve \xE2\x80\x94 \xE2\x82\xAC" + n + "\n";
            wireOut += "line " + n + ": caf\xE9 na\xEFve \x97 \x80" + n + "\n";
            localIn += "server " + n + " \xC3\x9F\xC3\xB8 \xE2\x80\x9Cquoted\xE2\x80\x9D\n";
            wireIn += "server " + n + " \xDF\xF8 \x93quoted\x94\n";
        }
        TempDir dir;
        OtherWindow other;
        other.Focus();
        CopyOnTheDesktop(dir.write("big.txt", localOut));
        const std::string serverFile = dir.write("server.txt", wireIn);
        ClipboardSession session;
        QVERIFY(session.Start(std::string(kLater) + "clipboard-set-file " + serverFile + "\n"));

        const std::string expected = "clipboard len=" + std::to_string(wireOut.size());
        QTRY_VERIFY_WITH_TIMEOUT(session.ServerLog().find(expected) != std::string::npos, kPatienceMs);
        QVERIFY2(session.ServerLog().find("crc32=" + Crc32(wireOut)) != std::string::npos,
                 "the session got other bytes than the desktop's text");

        QTRY_VERIFY_WITH_TIMEOUT(!session.Window().empty(), kPatienceMs);
        QTRY_VERIFY_WITH_TIMEOUT(session.ServerLog().find("action clipboard-set-file") != std::string::npos, kPatienceMs);
        other.Focus();
        QTRY_VERIFY_WITH_TIMEOUT(
            session.ServerLog().find("clipboard sent len=" + std::to_string(wireIn.size()) + "\n") != std::string::npos,
            kPatienceMs);
        std::string desktop;
        QTRY_VERIFY_WITH_TIMEOUT((desktop = DesktopClipboard(dir)).size() == localIn.size(), kPatienceMs);
        QVERIFY2(desktop == localIn, "the desktop got other text than the session's");
    }

    void TheServersMetafileIsOfferedAsAPicture() {
        TempDir dir;
        const std::vector<uint8_t> emf = test::SmallMetafile(120, 80);
        const std::string path = dir.write("picture.emf", std::string(emf.begin(), emf.end()));
        ClipboardSession session;
        QVERIFY(session.Start("after-ms 500 clipboard-metafile " + path + "\n"));
        QTRY_VERIFY_WITH_TIMEOUT(session.ServerLog().find("clipboard sent len=") != std::string::npos, kPatienceMs);
        QTRY_VERIFY_WITH_TIMEOUT(DesktopClipboard(dir, "TARGETS").find("image/emf") != std::string::npos, kPatienceMs);
        QCOMPARE(DesktopClipboard(dir, "image/emf"), std::string(emf.begin(), emf.end()));
    }

    void TextTravelsInUtf8WhenTheSiteSaysSo() {
        TempDir dir;
        OtherWindow other;
        other.Focus();
        CopyOnTheDesktop(dir.write("local.txt", "\xE6\x97\xA5\xE6\x9C\xAC caf\xC3\xA9"));
        ClipboardSession session;
        QVERIFY(session.Start(std::string(kLater) + "clipboard-set \\xC3\\xBC\\xE2\\x82\\xAC\n", 0,
                              "ClipboardCharset UTF-8\n"));
        QTRY_VERIFY_WITH_TIMEOUT(session.ServerLog().find("clipboard len=12 text=\"\\xE6\\x97\\xA5\\xE6\\x9C\\xAC "
                                                          "caf\\xC3\\xA9\"") != std::string::npos,
                                 kPatienceMs);
        QTRY_VERIFY_WITH_TIMEOUT(session.ServerLog().find("action clipboard-set") != std::string::npos, kPatienceMs);
        other.Focus();
        QTRY_COMPARE_WITH_TIMEOUT(DesktopClipboard(dir), std::string("\xC3\xBC\xE2\x82\xAC"), kPatienceMs);
    }

    void ThePrimarySelectionWhenTheSiteAsksForIt() {
        TempDir dir;
        OtherWindow other;
        other.Focus();
        CopyOnTheDesktop(dir.write("clip.txt", "copied"));
        ClipboardSession session;
        QVERIFY(session.Start(std::string(kLater) + "clipboard-set from the session\n", 0, "ClipboardPrimary 1\n"));
        QTRY_VERIFY_WITH_TIMEOUT(session.ServerLog().find("clipboard len=6 text=\"copied\"") != std::string::npos,
                                 kPatienceMs);
        QTRY_VERIFY_WITH_TIMEOUT(session.ServerLog().find("action clipboard-set") != std::string::npos, kPatienceMs);
        // The session's text becomes the primary selection too.
        other.Focus();
        QTRY_COMPARE_WITH_TIMEOUT(DesktopClipboard(dir, "UTF8_STRING", "primary"), std::string("from the session"),
                                  kPatienceMs);
        QCOMPARE(DesktopClipboard(dir), std::string("from the session"));
        // Text selected in another program since is what goes to the session next.
        CopyOnTheDesktop(dir.write("selected.txt", "selected"), "primary");
        QTest::qWait(300);
        session.Focus();
        QTRY_VERIFY_WITH_TIMEOUT(session.ServerLog().find("clipboard len=8 text=\"selected\"") != std::string::npos,
                                 kPatienceMs);
    }

    void ACollaboratorExchangesNothing() {
        TempDir dir;
        OtherWindow other;
        other.Focus();
        CopyOnTheDesktop(dir.write("local.txt", "not for the session"));
        ClipboardSession session;
        QVERIFY(session.Start("after-ms 0 clipboard-set the session's own\n", 7));
        QTRY_VERIFY_WITH_TIMEOUT(session.ServerLog().find("frame sent n=1") != std::string::npos, kPatienceMs);
        QTRY_VERIFY_WITH_TIMEOUT(
            !FirstLine({"/usr/bin/xdotool", "search", "--onlyvisible", "--classname", "corvane"}).empty(),
            kPatienceMs);
        QTest::qWait(1000);
        other.Focus();
        QTest::qWait(1500);
        const std::string log = session.ServerLog();
        QVERIFY2(log.find("collaboration session=7") != std::string::npos, "the client did not join as a collaborator");
        QCOMPARE(Count(log, "clipboard len="), size_t{0});
        QCOMPARE(Count(log, "clipboard request"), size_t{0});
        QCOMPARE(DesktopClipboard(dir), std::string("not for the session"));
    }
};

int main(int argc, char** argv) {
    TestDisplay display;
    if (!display.Start(1024, 768)) {
        std::fprintf(stderr, "cannot start Xvfb\n");
        return 1;
    }
    setenv("DISPLAY", display.Name().c_str(), 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    // No session bus: without one the bus library would start a bus daemon on the test's X
    // server, which outlives the test, and keep a buffer the leak checker reports.
    setenv("DBUS_SESSION_BUS_ADDRESS", "disabled:", 1);
    QApplication application(argc, argv);
    ClipboardEndToEndTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "clipboard_end_to_end_test.moc"
