// The login: connection (with the server-variant redirect), information blocks, session
// selection, the final block with the TLS restart, the final status and the init exchange.
// The first login and a reconnection run the same steps; they differ only in who chooses the
// session and in how a failure reaches the user.
//
// Runs on the session thread for the first login and on the receive thread for a
// reconnection, never on both at once. It writes the session state; the caller publishes it.
#pragma once

#include <atomic>
#include <string>

#include "config/status_mailbox.h"
#include "protocol/message_channel.h"
#include "protocol/stream_connection.h"
#include "session/dialog_port.h"
#include "session/failure_report.h"
#include "session/notice_port.h"
#include "session/session_state.h"

namespace corvane {

// Exit codes of the process.
inline constexpr int kExitNormal = 0;
inline constexpr int kExitError = -1;

// cnctConnect's failure codes.
enum ConnectResult : int {
    kConnectNoConnection = -1,
    kConnectInfoFailed = -1010,
    kConnectOtherStatus = -1999,
    kConnectTrustRefused = -1020,  // the server's TLS certificate is not trusted
};

// What cnctConnect asks of the server.
struct ConnectRequest {
    std::string host;
    int port = 0;
    int width = 0;
    int height = 0;
    int depth = 0;
    int bitsPerPixel = 0;
    int visualClass = 0;
    int sessionId = 0;
    int disconnectTimeout = 0;
};

class LoginSequence {
public:
    LoginSequence(SessionState& state, StreamConnection& stream, MessageChannel& channel, StatusMailbox& mailbox,
                  NoticePort& notices, DialogPort& dialogs);

    // The first login, with up to three attempts: 0 with `attached` set when a session is
    // attached (the socket open, the geometry in the init record, the caption built);
    // otherwise the exit code to end with.
    [[nodiscard]] int Login(bool& attached);

    // The login of a reconnection, on the server's own host and port, always into a new
    // session: 1 when the session runs again on a new socket, -1 when the attempt reached the
    // server but failed, 0 when the server's session list could not be read.
    [[nodiscard]] int LoginAgain();

    // Reports a failure the way its kind asks (see ReportFailure).
    void Fail(FailureKind kind, const std::string& text, int logLevel = 0, const std::string& logText = {},
              const std::string& title = {});

private:
    enum class LoginKind { First, Reconnection };

    [[nodiscard]] int cnctConnect(ConnectRequest& request, bool afterRedirect);
    // Makes `socket` the channel's; false (the socket closed) when the client is quitting.
    [[nodiscard]] bool Adopt(int socket);
    [[nodiscard]] int ConnectTry(const ConnectRequest& request, bool redirected);
    [[nodiscard]] int ReadSessionList(bool& proceed);
    [[nodiscard]] int FinishLogin(bool& attached);
    // The final information block, the TLS restart on the bare socket and the final status
    // (0: accepted; then the versions are taken). kConnectInfoFailed when the block could not
    // be read.
    [[nodiscard]] int FinalBlock(int socket, LoginKind kind);
    // The init exchange: the bandwidth class into the init record, the init message out, the
    // server's reply into the init record (the size asked for is kept for the log). 0, or -1
    // when the stream failed.
    [[nodiscard]] int InitExchange(LoginKind kind);
    void ShowLoginFailure(int code);
    [[nodiscard]] int ErrorRoutine(const std::string& text, bool wait = true);
    void SetVersions(const InfoBlock& block);
    void LogInitReply(int requestedWidth, int requestedHeight);
    void WriteRequestIntoInit();
    void BuildCaption();

    SessionState& m_state;
    StreamConnection& m_stream;
    MessageChannel& m_channel;
    StatusMailbox& m_mailbox;
    NoticePort& m_notices;
    DialogPort& m_dialogs;
    int m_requestedWidth = 0;  // what the last init exchange asked for
    int m_requestedHeight = 0;
};

}  // namespace corvane
