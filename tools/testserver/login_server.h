// The server side of the login, in the order the client drives it: TLS handshake, the
// client's information block and the answer (accepted, refused or redirected), the list of
// disconnected sessions and the client's choice (unless it joins another session), the
// final block, the TLS restart, and the init message and its reply.
//
// Runs on the thread that serves the connection, before any other thread uses it. Every
// step is logged to the event log (see HelpText for the lines).
#pragma once

#include "protocol/stream_connection.h"
#include "tools/testserver/event_log.h"
#include "tools/testserver/options.h"
#include "tools/testserver/session_list.h"

namespace corvane::testserver {

// What the login leaves behind between connections.
struct LoginState {
    SessionStore sessions;
    bool redirectPending = false;
};

struct LoginOutcome {
    bool attached = false;       // the session runs on this connection
    bool collaboration = false;  // the client joined another session: it is not stored
    bool resumed = false;
    ServerSession session;
};

[[nodiscard]] LoginOutcome ServeLogin(StreamConnection& stream, int socket, const ServerOptions& options,
                                      LoginState& state, EventLog& log);

// The geometry a session gets for a request: depth 8 as asked (visual class 3 unless 4
// was asked), any other depth as 24 with visual class 4; --geometry replaces the size.
[[nodiscard]] SessionGeometry GrantedGeometry(const ServerOptions& options, int32_t width, int32_t height,
                                              int32_t depth, int32_t visualClass);

}  // namespace corvane::testserver
