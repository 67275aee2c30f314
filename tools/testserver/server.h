// The test server: listens on 127.0.0.1 and serves one connection at a time, each through
// the login and, when the login attaches a session, the session; a connection past
// --silent-after is held open unanswered instead. The list of disconnected sessions and the
// pending redirect carry over from one connection to the next.
//
// Threads: Listen and Run on one thread; Stop from any thread (a signal watcher, a test).
// Run also starts a thread that stops the run at its deadline (--exit-after).
#pragma once

#include <optional>
#include <vector>

#include "protocol/stream_connection.h"
#include "tools/testserver/event_log.h"
#include "tools/testserver/login_server.h"
#include "tools/testserver/options.h"
#include "tools/testserver/recording.h"
#include "tools/testserver/run_control.h"
#include "tools/testserver/session_runner.h"
#include "tools/testserver/x11_desktop.h"

namespace corvane::testserver {

class Server {
  public:
    // `x11`, when not null, is the X11 display every session serves; `replay`, when not null,
    // the recording every session sends instead. Both outlive the server.
    Server(ServerOptions options, EventLog& log, X11Desktop* x11 = nullptr, const Recording* replay = nullptr);
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Binds 127.0.0.1 at the option's port (0: one the system picks) and, with --tls, makes
    // the TLS identity. The port listened on, or -1 with the reason on standard error.
    [[nodiscard]] int Listen();

    // Serves connections until --once is satisfied, the deadline passes or Stop is called.
    // 0 on such an end; 1 when Listen has not succeeded.
    [[nodiscard]] int Run();

    // Ends the run: a connection being served is cut, and Run returns soon after.
    void Stop();

  private:
    void Serve(int socket);
    // Runs an attached session: a replay, a recorded one, or a plain one.
    [[nodiscard]] SessionEnd RunAttached(StreamConnection& stream, int socket, const LoginOutcome& login);
    // A connection past --silent-after: what the client sends is read and dropped, nothing is
    // answered, until the client closes it or the run is stopped.
    void HoldSilent(int socket);

    const ServerOptions m_options;
    EventLog& m_log;
    X11Desktop* const m_x11;
    const Recording* const m_replay;
    bool m_recorded = false;  // --record has taken its session
    RunControl m_control;
    LoginState m_state;
    std::vector<bool> m_stepsFired;  // scenario steps that have run
    TlsIdentity m_identity;
    int m_listenSocket = -1;
    int m_connections = 0;  // accepted
    int m_sessions = 0;     // attached
};

}  // namespace corvane::testserver
