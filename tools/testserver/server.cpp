#include "tools/testserver/server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <thread>
#include <tuple>

#include "tools/testserver/session_runner.h"
#include "tools/testserver/tls_identity.h"

namespace corvane::testserver {

namespace {

constexpr int kBacklog = 8;

SessionGeometry AnnouncedGeometry(const ServerOptions& options) {
    SessionGeometry g;
    if (options.geometry) std::tie(g.width, g.height) = *options.geometry;
    return g;
}

}  // namespace

Server::Server(ServerOptions options, EventLog& log, X11Desktop* x11, const Recording* replay)
    : m_options(std::move(options)),
      m_log(log),
      m_x11(x11),
      m_replay(replay),
      m_state{SessionStore(m_options.sessionCount, AnnouncedGeometry(m_options)), m_options.redirectOnce} {}

Server::~Server() {
    if (m_listenSocket >= 0) ::close(m_listenSocket);
}

int Server::Listen() {
    if (m_options.tls) {
        std::optional<TlsIdentity> identity = MakeSelfSignedIdentity();
        if (!identity) {
            std::fprintf(stderr, "corvane-testserver: cannot make a TLS identity\n");
            return -1;
        }
        m_identity = std::move(*identity);
    }
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        std::fprintf(stderr, "corvane-testserver: socket: %s\n", std::strerror(errno));
        return -1;
    }
    const int yes = 1;
    (void)::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);  // a quick restart may fail without it
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(m_options.port));
    socklen_t length = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, kBacklog) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        std::fprintf(stderr, "corvane-testserver: cannot listen on 127.0.0.1:%d: %s\n", m_options.port,
                     std::strerror(errno));
        ::close(fd);
        return -1;
    }
    m_listenSocket = fd;
    return ntohs(address.sin_port);
}

void Server::Stop() {
    m_control.RequestStop("stopped");
}

int Server::Run() {
    if (m_listenSocket < 0) return 1;
    std::atomic<bool> finished{false};
    std::thread deadline;
    if (m_options.exitAfterSeconds > 0) {
        const Clock::time_point until = Clock::now() + std::chrono::seconds(m_options.exitAfterSeconds);
        deadline = std::thread([this, until, &finished] {
            m_control.WaitUntil(until, [&finished] { return finished.load(); });
            if (!finished) m_control.RequestStop("deadline");
        });
    }

    for (;;) {
        if (m_control.StopRequested()) break;
        if (m_options.once && m_sessions > 0) {
            m_control.RequestStop("once");
            break;
        }
        pollfd waits[] = {{m_listenSocket, POLLIN, 0}, {m_control.WakeDescriptor(), POLLIN, 0}};
        if (::poll(waits, 2, -1) < 0 && errno != EINTR) {
            m_control.RequestStop("error");
            break;
        }
        if ((waits[0].revents & POLLIN) == 0) continue;
        const int socket = ::accept4(m_listenSocket, nullptr, nullptr, SOCK_CLOEXEC);
        if (socket < 0) continue;
        const int yes = 1;
        (void)::setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);  // updates go out at once
        Serve(socket);
    }

    finished = true;
    m_control.Notify();
    if (deadline.joinable()) deadline.join();
    m_log.Write("server end reason=" + m_control.StopReason());
    return 0;
}

void Server::Serve(int socket) {
    m_log.Write("connection n=" + std::to_string(++m_connections));
    m_control.SetActiveSocket(socket);
    if (m_options.silentAfter >= 0 && m_connections > m_options.silentAfter) {
        HoldSilent(socket);
        m_control.ClearActiveSocket();
        ::close(socket);
        return;
    }
    {
        StreamConnection stream(StreamRole::Server, m_identity);
        stream.SetTransportMode(m_options.tls ? 1 : 0);
        stream.StartSslLibrary();
        const LoginOutcome login = ServeLogin(stream, socket, m_options, m_state, m_log);
        if (login.attached) {
            const SessionEnd end = RunAttached(stream, socket, login);
            ++m_sessions;
            // Someone else's session carries on without this client; it is not ours to list.
            const char* state = login.collaboration ? "left" : end == SessionEnd::Disconnected ? "disconnected" : "ended";
            if (!login.collaboration && end == SessionEnd::Disconnected) m_state.sessions.Disconnect(login.session);
            m_log.Write("session end id=" + std::to_string(login.session.id) + " state=" + state);
        }
        m_control.ClearActiveSocket();
        (void)stream.Close(socket);  // always 0
    }
}

SessionEnd Server::RunAttached(StreamConnection& stream, int socket, const LoginOutcome& login) {
    const SessionGeometry& g = login.session.geometry;
    if (m_replay != nullptr) {
        // The recorded frames were made for one frame buffer: any other would draw them wrong
        // or refuse them.
        const SessionGeometry& r = m_replay->geometry;
        if (g.width != r.width || g.height != r.height || g.depth != r.depth) {
            m_log.Write("replay refused: session " + std::to_string(g.width) + "x" + std::to_string(g.height) + "x" +
                        std::to_string(g.depth) + ", recording " + std::to_string(r.width) + "x" +
                        std::to_string(r.height) + "x" + std::to_string(r.depth));
            return SessionEnd::Disconnected;
        }
        return RunSession(stream, socket, m_options, login.session, m_stepsFired, m_log, m_control, nullptr, m_replay);
    }
    if (m_options.recordPath.empty() || m_recorded) {
        return RunSession(stream, socket, m_options, login.session, m_stepsFired, m_log, m_control, m_x11);
    }
    m_recorded = true;
    RecordingWriter writer;
    if (!writer.Open(m_options.recordPath, g, m_options.serverCode)) {
        m_log.Write("recording not written: cannot write " + m_options.recordPath);
        return RunSession(stream, socket, m_options, login.session, m_stepsFired, m_log, m_control, m_x11);
    }
    const SessionEnd end =
        RunSession(stream, socket, m_options, login.session, m_stepsFired, m_log, m_control, m_x11, nullptr, &writer);
    m_log.Write(writer.Close() ? "recording written path=" + m_options.recordPath
                               : "recording failed path=" + m_options.recordPath);
    return end;
}

void Server::HoldSilent(int socket) {
    m_log.Write("connection held silent");
    uint8_t dropped[4096];
    for (;;) {
        // The wake descriptor turns readable when the run is stopped, which also shuts the
        // socket down; either way the wait ends.
        pollfd waits[] = {{socket, POLLIN, 0}, {m_control.WakeDescriptor(), POLLIN, 0}};
        if (::poll(waits, 2, -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (m_control.StopRequested()) break;
        if (waits[0].revents == 0) continue;
        const ssize_t got = ::recv(socket, dropped, sizeof dropped, 0);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
    }
    m_log.Write("connection closed");
}

}  // namespace corvane::testserver
