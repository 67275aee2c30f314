// Servers and proxies that break the session, against the real client and test server: the
// connection cut at each step of the login and inside a frame, a server that falls silent, a
// stream of bytes that are not TLS records, proxies that refuse or hang up, and a server whose
// bytes come one at a time. Whatever happens the client ends by itself, with the message and
// exit code of that failure, and leaves no half-written file behind.
#include <dirent.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <optional>
#include <thread>

#include "png_reader.h"
#include "protocol/loopback_peer.h"
#include "protocol/tinyproxy_process.h"
#include "session/end_to_end_fixture.h"

namespace corvane::test {
namespace {

std::string Replace(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

// The end of a log, enough to see why a row failed.
std::string Tail(const std::string& text) {
    constexpr size_t kShown = 3000;
    return text.size() <= kShown ? text : "..." + text.substr(text.size() - kShown);
}

std::string LastLine(const std::string& text) {
    std::string trimmed = text;
    while (!trimmed.empty() && trimmed.back() == '\n') trimmed.pop_back();
    const size_t newline = trimmed.rfind('\n');
    return newline == std::string::npos ? trimmed : trimmed.substr(newline + 1);
}

// Every file under `folder`, as paths relative to it.
void ListFiles(const std::string& folder, const std::string& prefix, std::vector<std::string>& files) {
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) return;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        const std::string path = folder + "/" + name;
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0) continue;
        if (S_ISDIR(st.st_mode)) {
            ListFiles(path, prefix + name + "/", files);
        } else {
            files.push_back(prefix + name);
        }
    }
    ::closedir(dir);
}

// Runs a thread over accepted connections until the object goes; `serve` gets each one and
// a flag that turns true when the object is going.
class LoopbackService {
public:
    explicit LoopbackService(std::function<void(int, const std::atomic<bool>&)> serve)
        : m_thread([this, serve = std::move(serve)] {
              while (!m_stopping) {
                  UniqueFd connection = m_listener.Accept(std::chrono::milliseconds(50));
                  if (connection.get() >= 0) serve(connection.get(), m_stopping);
              }
          }) {}
    ~LoopbackService() {
        m_stopping = true;
        m_thread.join();
    }
    LoopbackService(const LoopbackService&) = delete;
    LoopbackService& operator=(const LoopbackService&) = delete;

    [[nodiscard]] int port() const { return m_listener.port(); }

private:
    LoopbackListener m_listener;
    std::atomic<bool> m_stopping{false};
    std::thread m_thread;  // last: it uses the members above
};

// Reads what the client sends until it has sent `end`, has gone, or a second has passed.
void ReadUntil(int socket, const std::string& end) {
    std::string got;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    char buffer[512];
    while (got.find(end) == std::string::npos && WaitFor(socket, POLLIN, deadline)) {
        const ssize_t n = ::recv(socket, buffer, sizeof buffer, 0);
        if (n <= 0) return;
        got.append(buffer, static_cast<size_t>(n));
    }
}

// A proxy that takes the CONNECT request and hangs up after answering `reply` (perhaps
// nothing, perhaps part of a header).
std::function<void(int, const std::atomic<bool>&)> HangingUpProxy(std::string reply) {
    return [reply = std::move(reply)](int client, const std::atomic<bool>&) {
        ReadUntil(client, "\r\n\r\n");
        if (!reply.empty()) (void)SendAll(client, reply.data(), reply.size());
    };
}

// Passes bytes between the client and the server at `serverPort`, the server's one byte per
// send with a pause after each, so that every read of the client finds a single byte.
std::function<void(int, const std::atomic<bool>&)> TricklingRelay(int serverPort) {
    return [serverPort](int client, const std::atomic<bool>& stopping) {
        UniqueFd server = ConnectRaw(serverPort);
        if (server.get() < 0) return;
        const int yes = 1;
        (void)::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
        uint8_t buffer[4096];
        while (!stopping) {
            pollfd waits[] = {{client, POLLIN, 0}, {server.get(), POLLIN, 0}};
            if (::poll(waits, 2, 50) <= 0) continue;
            if (waits[0].revents != 0) {
                const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
                if (n <= 0 || !SendAll(server.get(), buffer, static_cast<size_t>(n))) return;
            }
            if (waits[1].revents != 0) {
                const ssize_t n = ::recv(server.get(), buffer, 256, 0);
                if (n <= 0) return;
                for (ssize_t i = 0; i < n && !stopping; ++i) {
                    if (::send(client, buffer + i, 1, MSG_NOSIGNAL) != 1) return;
                    std::this_thread::sleep_for(std::chrono::microseconds(20));
                }
            }
        }
    };
}

enum class Route {
    Direct,
    RefusingProxy,
    SilentProxy,          // hangs up without a word
    ProxyEndingInHeader,  // hangs up inside its reply's header
    ProxyHeaderAtLimit,   // a whole header of the longest length the client takes, then gone
    ProxyHeaderPastLimit,  // one byte longer
};

// The longest proxy reply header the client reads, its end included.
constexpr size_t kLongestProxyHeader = 511;

// What the hanging-up proxy of `route` answers before it goes.
std::string ProxyReply(Route route) {
    const std::string start = "HTTP/1.1 200 OK\r\nX-Pad: ";
    const std::string end = "\r\n\r\n";
    switch (route) {
        case Route::ProxyEndingInHeader:
            return "HTTP/1.1 200 Conn";
        case Route::ProxyHeaderAtLimit:
            return start + std::string(kLongestProxyHeader - start.size() - end.size(), 'x') + end;
        case Route::ProxyHeaderPastLimit:
            return start + std::string(kLongestProxyHeader + 1 - start.size() - end.size(), 'x') + end;
        default:
            return "";
    }
}

class FaultEndToEnd : public EndToEndTest {
protected:
    [[nodiscard]] std::string LogPath() const { return m_dir.file("docs/My Connections/client.log"); }
    [[nodiscard]] std::string ShotPath() const { return m_dir.file("docs/shot.png"); }

    // What a run left in the test's folder, other than the files it started with and the
    // client's log: a screenshot must be a whole image, and nothing else may be there.
    void ExpectNoPartialFiles(bool screenshotExpected) {
        std::vector<std::string> files;
        ListFiles(m_dir.path(), "", files);
        for (const std::string& file : files) {
            const bool known = file == "docs/.keep" || file == "install/qel.ini" || file == "registry" ||
                               file == "session.zrp" || file == "scenario.txt" || file == "server.log" ||
                               file == "server.stderr" || file == "client.stderr" ||
                               file == "docs/My Connections/client.log" || file == "docs/My Connections/qel.ini" ||
                               file == "docs/shot.png";
            EXPECT_TRUE(known) << "left behind: " << file;
        }
        const std::string shot = ReadWholeFile(ShotPath());
        if (!screenshotExpected) {
            EXPECT_TRUE(shot.empty()) << "a screenshot of a session that never started";
            return;
        }
        RgbImage image;
        EXPECT_TRUE(ReadRgbPng(shot, image)) << "the screenshot is not a whole image (" << shot.size() << " bytes)";
        EXPECT_EQ(image.rgb.size(), static_cast<size_t>(image.width) * image.height * 3);
    }
};

// {port} is the server's port, {proxy} the proxy's, {log} the client's log.
constexpr char kLostAtLogin[] =
    "corvane: server 127.0.0.1:{port}: Unable to communicate with Corvane server; log: {log}";
constexpr char kLostAtEveryAttempt[] =
    "corvane: server 127.0.0.1:{port}: Unable to communicate with Corvane server (Exceeded Login retries!); log: "
    "{log}";
constexpr char kProxyFailedEveryAttempt[] =
    "corvane: server 127.0.0.1:{port} through proxy 127.0.0.1:{proxy}: Unable to communicate with Corvane server "
    "(Exceeded Login retries!); log: {log}";

TEST_F(FaultEndToEnd, EachBrokenServerEndsTheClientWithItsMessageAndNoHalfWrittenFile) {
    const bool haveTinyproxy = !TinyproxyProcess::Executable().empty();
    struct Row {
        const char* name;
        std::vector<std::string> server;  // test-server options beyond the fixture's
        const char* scenario;             // empty: none
        bool tls;
        Route route;
        std::vector<std::string> client;  // client options before the screenshot's
        int exitCode;
        const char* closingLine;  // the last line on standard error; empty: nothing there
        const char* serverSaw;    // a line the server's log must hold: the fault happened
        const char* clientLogged;  // a line the client's log must hold
        bool screenshot;           // the session started, so its screen is saved
        std::chrono::milliseconds within;
    };
    using std::chrono::milliseconds;
    const Row rows[] = {
        // The login's steps, each answered by a closed connection.
        {"cut before the answer", {"--drop-at", "answer"}, "", false, Route::Direct, {}, 255, kLostAtEveryAttempt,
         "login drop before=answer", "Status from info get: -1", false, milliseconds(5000)},
        {"cut before the answer (TLS)", {"--drop-at", "answer"}, "", true, Route::Direct, {}, 255, kLostAtEveryAttempt,
         "login drop before=answer", "Status from info get: -1", false, milliseconds(5000)},
        {"cut before the session list", {"--drop-at", "session-list"}, "", false, Route::Direct, {}, 255,
         kLostAtLogin, "login drop before=session-list", "Reading info about disconnected sessions", false,
         milliseconds(5000)},
        {"cut before the session list (TLS)", {"--drop-at", "session-list"}, "", true, Route::Direct, {}, 255,
         kLostAtLogin, "login drop before=session-list", "Reading info about disconnected sessions", false,
         milliseconds(5000)},
        {"cut inside the session list", {"--drop-at", "session-list-half", "--session-count", "2"}, "", false,
         Route::Direct, {}, 255, kLostAtLogin, "login drop inside=session-list", "Reading 768 bytes", false,
         milliseconds(5000)},
        {"cut before the final block", {"--drop-at", "final-block"}, "", false, Route::Direct, {}, 255, kLostAtLogin,
         "login drop before=final-block", "m_iSessionID:  2", false, milliseconds(5000)},
        {"cut before the init reply", {"--drop-at", "init-reply"}, "", false, Route::Direct, {}, 255, kLostAtLogin,
         "login drop before=init-reply", "Receiving m_minit", false, milliseconds(5000)},
        {"cut before the init reply (TLS)", {"--drop-at", "init-reply"}, "", true, Route::Direct, {}, 255,
         kLostAtLogin, "login drop before=init-reply", "Receiving m_minit", false, milliseconds(5000)},
        {"cut inside the init reply (TLS)", {"--drop-at", "init-reply-half"}, "", true, Route::Direct, {}, 255,
         kLostAtLogin, "login drop inside=init-reply", "Receiving m_minit", false, milliseconds(5000)},
        // The session: a connection lost without reconnection ends the client quietly.
        {"cut inside a frame", {"--static"}, "after-frames 1 half-frame\nafter-frames 1 drop\n", false, Route::Direct,
         {}, 0, "", "action drop", "Body read of 4096 bytes failed", true, milliseconds(5000)},
        {"cut inside a frame (TLS)", {"--static"}, "after-frames 1 half-frame\nafter-frames 1 drop\n", true,
         Route::Direct, {}, 0, "", "action drop", "Body read of 4096 bytes failed", true, milliseconds(5000)},
        // A server that stops sending: the user's end (here the client's own deadline of a
        // second) still ends the client at once, also while it waits inside a frame.
        // The client's own end comes 3 s into the session, late enough for the first frame
        // to have gone out even under the thread sanitizer.
        {"silent after the first frame", {"--static"}, "", false, Route::Direct, {"--exit-after", "3"}, 0, "",
         "frame sent n=1", "Ending the session after 3.0 seconds", true, milliseconds(7000)},
        {"silent inside a frame", {"--static"}, "after-frames 1 half-frame\n", false, Route::Direct,
         {"--exit-after", "3"}, 0, "", "action half-frame", "Ending the session after 3.0 seconds", true,
         milliseconds(7000)},
        {"silent inside a frame (TLS)", {"--static"}, "after-frames 1 half-frame\n", true, Route::Direct,
         {"--exit-after", "3"}, 0, "", "action half-frame", "Ending the session after 3.0 seconds", true,
         milliseconds(7000)},
        // Bytes that are no TLS record where the first record of the login should be.
        {"garbage after the TLS handshake", {"--tls-garbage"}, "", true, Route::Direct, {}, 255, kLostAtEveryAttempt,
         "tls garbage sent bytes=64", "Return from cnctConnect = -1010", false, milliseconds(5000)},
        // Proxies: one that refuses the tunnel, one that hangs up at once, one that hangs up
        // inside its reply's header.
        {"proxy refuses", {}, "", true, Route::RefusingProxy, {}, 255, kProxyFailedEveryAttempt, "",
         "HTTP/1.1 403", false, milliseconds(5000)},
        {"proxy hangs up", {}, "", true, Route::SilentProxy, {}, 255, kProxyFailedEveryAttempt, "",
         "The proxy ended its reply after 0 bytes", false, milliseconds(5000)},
        {"proxy hangs up inside its reply", {}, "", true, Route::ProxyEndingInHeader, {}, 255,
         kProxyFailedEveryAttempt, "", "The proxy ended its reply after 17 bytes", false, milliseconds(5000)},
        // The longest reply header the client takes is read whole (and the proxy's going fails
        // the handshake after it); one byte more is refused.
        {"proxy reply header at the limit", {}, "", true, Route::ProxyHeaderAtLimit, {}, 255,
         kProxyFailedEveryAttempt, "", "buf = >>>>HTTP/1.1 200 OK", false, milliseconds(5000)},
        {"proxy reply header past the limit", {}, "", true, Route::ProxyHeaderPastLimit, {}, 255,
         kProxyFailedEveryAttempt, "", "The proxy reply header is longer than 511 bytes", false, milliseconds(5000)},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        if (row.route == Route::RefusingProxy && !haveTinyproxy) {
            std::printf("[ SKIPPED  ] %s: tinyproxy is not installed\n", row.name);
            continue;
        }
        std::filesystem::remove_all(m_dir.file("docs"));
        m_dir.write("docs/.keep", "");
        std::vector<std::string> server = row.server;
        if (row.tls) server.push_back("--tls");
        if (*row.scenario != '\0') server.insert(server.end(), {"--scenario", Scenario(row.scenario)});
        ASSERT_TRUE(StartServer(server, false)) << ReadWholeFile(m_dir.file("server.stderr"));
        const int serverPort = m_port;

        // tinyproxy refuses the tunnel: it allows CONNECT to a port other than the server's.
        std::optional<TinyproxyProcess> tinyproxy;
        std::optional<LoopbackService> proxy;
        int proxyPort = 0;
        if (row.route == Route::RefusingProxy) {
            tinyproxy.emplace();
            ASSERT_TRUE(tinyproxy->Start(serverPort == 65535 ? 1 : serverPort + 1));
            proxyPort = tinyproxy->port();
        } else if (row.route != Route::Direct) {
            proxy.emplace(HangingUpProxy(ProxyReply(row.route)));
            proxyPort = proxy->port();
        }
        std::string extra = row.tls ? "ProtocolType 1\r\n" : "";
        if (proxyPort != 0) {
            extra += "UseProxy 1\r\nProxyHost 127.0.0.1\r\nProxyPort " + std::to_string(proxyPort) + "\r\n";
        }

        std::vector<std::string> client = row.client;
        client.insert(client.end(), {"--screenshot", ShotPath()});
        ClientRun run = RunClient(client, ConnectionFile(extra));
        m_server.Terminate();  // it serves on until told, as a real one would
        const std::string serverLog = ReadWholeFile(m_dir.file("server.log"));

        EXPECT_EQ(run.exitCode, row.exitCode) << run.stderrText;
        const std::string expected = Replace(Replace(Replace(row.closingLine, "{port}", std::to_string(serverPort)),
                                                     "{proxy}", std::to_string(proxyPort)),
                                             "{log}", LogPath());
        EXPECT_EQ(LastLine(run.stderrText), expected);
        EXPECT_LT(run.took, row.within);
        EXPECT_NE(serverLog.find(row.serverSaw), std::string::npos) << serverLog;
        EXPECT_NE(run.log.find(row.clientLogged), std::string::npos) << Tail(run.log);
        // No thread of the client was left blocked when it ended.
        EXPECT_EQ(run.log.find("did not end; leaving without them"), std::string::npos) << Tail(run.log);
        ExpectNoPartialFiles(row.screenshot);
    }
}

// A server whose bytes come one at a time is slow, not broken: through TLS or not, the
// client logs in and draws the very screen that a direct connection draws.
TEST_F(FaultEndToEnd, BytesArrivingOneAtATimeDrawTheSameScreen) {
    for (const bool tls : {false, true}) {
        SCOPED_TRACE(tls ? "TLS" : "plain");
        std::vector<std::string> server = {"--static", "--geometry", "96x64"};
        if (tls) server.push_back("--tls");
        const std::string extra = tls ? "ProtocolType 1\r\n" : "";

        ASSERT_TRUE(StartServer(server));
        ClientRun direct = RunClient({"--exit-after-frames", "1", "--screenshot", ShotPath()}, ConnectionFile(extra));
        ASSERT_EQ(direct.exitCode, 0) << direct.log;
        const std::string directShot = ReadWholeFile(ShotPath());
        (void)ServerLog();

        ASSERT_TRUE(StartServer(server));
        {
            LoopbackService relay(TricklingRelay(m_port));
            m_port = relay.port();
            ClientRun trickled =
                RunClient({"--exit-after-frames", "1", "--screenshot", ShotPath()}, ConnectionFile(extra));
            EXPECT_EQ(trickled.exitCode, 0) << trickled.log;
            EXPECT_EQ(trickled.stderrText, "");
        }
        RgbImage first, second;
        ASSERT_TRUE(ReadRgbPng(directShot, first));
        ASSERT_TRUE(ReadRgbPng(ReadWholeFile(ShotPath()), second));
        EXPECT_EQ(second.width, 96);
        EXPECT_TRUE(first.rgb == second.rgb) << "the screens differ";
        (void)ServerLog();
    }
}

}  // namespace
}  // namespace corvane::test
