#include "tools/testserver/login_server.h"

#include <sys/socket.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <tuple>

#include "config/scrambled_text.h"
#include "protocol/info_block.h"
#include "protocol/login_peer.h"
#include "protocol/records.h"
#include "tools/testserver/desktop.h"

namespace corvane::testserver {

namespace {

constexpr int32_t kRefusedPassword = 1;
constexpr int32_t kInvalidSessionId = 3;
constexpr int32_t kRefusedGeometry = 10;
constexpr int32_t kRedirectFlag = 2;
constexpr int32_t kChosenSessionField = 100;
constexpr int32_t kUnwrittenFlag = static_cast<int32_t>(0xCACACACA);  // the block's fill
constexpr int32_t kBrokenMagic = kInfoBlockMagic - 1;
constexpr std::pair<int, int> kRedirectSize{800, 600};
constexpr char kBanner[] = "Corvane test server";
// What --tls-garbage sends: no TLS record starts with this content type.
constexpr size_t kGarbageSize = 64;
constexpr uint8_t kGarbageByte = 0xEE;
// Init reply statuses with which the client gives up the login.
constexpr std::array<uint32_t, 4> kFailedInitStatuses = {3, 4, 5, 6};

int32_t BitsPerPixel(int32_t depth) { return depth == 8 ? 8 : depth == 16 ? 16 : 32; }

bool IsPlainWord(const std::string& text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
               c == '_' || c == '-' || c == '@';
    });
}

std::string Word(const std::string& text) { return IsPlainWord(text) ? text : QuotedText(text, 64); }

std::string Flag(int32_t flag) { return flag == kUnwrittenFlag ? "fill" : std::to_string(flag); }

std::string Dimensions(const SessionGeometry& g) {
    return "width=" + std::to_string(g.width) + " height=" + std::to_string(g.height) +
           " depth=" + std::to_string(g.depth);
}

bool ValidRequest(const InfoGeometry& g, bool sizeGiven) {
    const bool depthKnown = g.depth == 8 || g.depth == 16 || g.depth == 24 || g.depth == 124 || g.depth == 224;
    const bool sizeFits = g.width >= 1 && g.width <= kMaxDesktopWidth && g.height >= 1 && g.height <= kMaxDesktopHeight;
    return depthKnown && (sizeGiven || sizeFits);
}

// Empty when the credentials are good, else why not.
std::string CredentialProblem(const ServerOptions& options, const InfoBlock& block) {
    const std::string user = block.UserName();
    auto account = std::find_if(options.users.begin(), options.users.end(),
                                [&](const UserAccount& a) { return a.name == user; });
    if (account == options.users.end()) return "unknown-user";
    std::string clear;
    if (UnscrambleText(block.Password(), clear) != 0) return "unreadable-password";
    return clear == account->password ? std::string() : "bad-password";
}

InfoAnswer Answer(const ServerOptions& options, int32_t status, const SessionGeometry& g, int32_t sessionField) {
    InfoAnswer answer;
    answer.status = status;
    answer.geometry = {g.width, g.height, g.depth, BitsPerPixel(g.depth), g.visualClass};
    answer.sessionId = sessionField;
    answer.version = options.serverVersion;
    answer.protocolVersion = options.protocolVersion;
    return answer;
}

class Login {
  public:
    Login(StreamConnection& stream, int socket, const ServerOptions& options, LoginState& state, EventLog& log)
        : m_stream(stream), m_socket(socket), m_options(options), m_state(state), m_log(log) {}

    LoginOutcome Run();

  private:
    bool Handshake(const char* when);
    bool Closed(const char* during);
    // True (and the connection cut) when --drop-at names this step.
    bool DropBefore(LoginDrop step, const char* where);
    // True when --drop-at names this step: the first half of `bytes` is sent and the
    // connection cut.
    bool SendHalfAndDrop(LoginDrop step, const char* where, const uint8_t* bytes, size_t size);
    void SendGarbage();
    // Sends the first answer; true when the login goes on.
    bool AnswerFirstBlock(const InfoBlock& received);
    // Settles the session: the one the client picks from the list, or the one it joins.
    // False when the list exchange failed.
    bool ChooseSession(const InfoBlock& received, int32_t& finalStatus);
    bool InitExchange();

    StreamConnection& m_stream;
    int m_socket;
    const ServerOptions& m_options;
    LoginState& m_state;
    EventLog& m_log;
    LoginOutcome m_outcome;
    SessionGeometry m_request;
};

bool Login::Handshake(const char* when) {
    if (!m_stream.UsesTls()) return true;
    if (m_stream.CreateSslContext() == 0) {
        m_stream.AttachSsl(m_socket);
        if (m_stream.SslHandshake() == 1) return true;
    }
    m_log.Write(std::string("tls handshake failed during ") + when);
    return false;
}

bool Login::Closed(const char* during) {
    m_log.Write(std::string("connection closed during ") + during);
    return false;
}

bool Login::DropBefore(LoginDrop step, const char* where) {
    if (m_options.dropAt != step) return false;
    m_log.Write(std::string("login drop ") + where);
    ::shutdown(m_socket, SHUT_RDWR);
    return true;
}

bool Login::SendHalfAndDrop(LoginDrop step, const char* where, const uint8_t* bytes, size_t size) {
    if (m_options.dropAt != step) return false;
    (void)m_stream.zRPshWrite(m_socket, bytes, static_cast<int>(size / 2));
    return DropBefore(step, where);
}

void Login::SendGarbage() {
    const std::array<uint8_t, kGarbageSize> garbage = [] {
        std::array<uint8_t, kGarbageSize> bytes{};
        bytes.fill(kGarbageByte);
        return bytes;
    }();
    const ssize_t sent = ::send(m_socket, garbage.data(), garbage.size(), MSG_NOSIGNAL);
    m_log.Write("tls garbage sent bytes=" + std::to_string(sent < 0 ? 0 : sent));
    // Closing now could reset the connection before the client has read the garbage.
    uint8_t dropped[4096];
    while (::recv(m_socket, dropped, sizeof dropped, 0) > 0) {
    }
}

LoginOutcome Login::Run() {
    if (!Handshake("login")) return m_outcome;
    if (m_options.tlsGarbage && m_stream.UsesTls()) {
        SendGarbage();
        return m_outcome;
    }
    InfoBlock received;
    if (InfoGetFromSocket(m_stream, m_socket, received, m_options.serverCode) < 0) {
        Closed("login");
        return m_outcome;
    }
    const InfoGeometry asked = received.Geometry();
    m_log.Write("login user=" + Word(received.UserName()) + " session=" + std::to_string(received.SessionId()) +
                " width=" + std::to_string(asked.width) + " height=" + std::to_string(asked.height) +
                " depth=" + std::to_string(asked.depth) + " bpp=" + std::to_string(asked.bitsPerPixel) +
                " visual=" + std::to_string(asked.visualClass) + " flag=" + Flag(received.ServerVariantFlag()) +
                " version=" + std::to_string(received.Version()));
    m_request = GrantedGeometry(m_options, asked.width, asked.height, asked.depth, asked.visualClass);
    if (DropBefore(LoginDrop::Answer, "before=answer") || !AnswerFirstBlock(received)) return m_outcome;

    int32_t finalStatus = m_options.finalStatus;
    if (!ChooseSession(received, finalStatus)) return m_outcome;
    if (DropBefore(LoginDrop::FinalBlock, "before=final-block")) return m_outcome;

    const InfoAnswer final = Answer(m_options, finalStatus, m_outcome.session.geometry, kChosenSessionField);
    m_log.Write("final status=" + std::to_string(finalStatus) + " session=" + std::to_string(m_outcome.session.id) +
                " " + Dimensions(m_outcome.session.geometry));
    if (SendInfoAnswer(m_stream, m_socket, m_options.serverCode, final) != 0) {
        Closed("final block");
        return m_outcome;
    }
    if (finalStatus != 0) return m_outcome;

    m_stream.ReleaseSsl();
    if (!Handshake("restart") || !InitExchange()) return m_outcome;
    m_outcome.attached = true;
    return m_outcome;
}

bool Login::AnswerFirstBlock(const InfoBlock& received) {
    if (m_state.redirectPending) {
        m_state.redirectPending = false;
        SessionGeometry other = m_request;
        if (!m_options.geometry) std::tie(other.width, other.height) = kRedirectSize;
        InfoAnswer answer = Answer(m_options, 0, other, 0);
        answer.serverVariantFlag = kRedirectFlag;
        m_log.Write("login-reply status=0 flag=2 width=" + std::to_string(other.width) +
                    " height=" + std::to_string(other.height) + " reason=redirect");
        (void)SendInfoAnswer(m_stream, m_socket, m_options.serverCode, answer);  // the client goes either way
        return false;
    }

    std::string reason = CredentialProblem(m_options, received);
    int32_t status = reason.empty() ? 0 : kRefusedPassword;
    if (status == 0 && !ValidRequest(received.Geometry(), m_options.geometry.has_value())) {
        status = kRefusedGeometry;
        reason = "geometry";
    }
    if (m_options.loginStatus != 0) {
        status = m_options.loginStatus;
        reason = "forced";
    }
    InfoAnswer answer = Answer(m_options, status, m_request, 0);
    if (m_options.badMagic) {
        answer.blockMagic = kBrokenMagic;
        reason = "bad-magic";
    }
    m_log.Write("login-reply status=" + std::to_string(status) + " flag=0 width=" + std::to_string(m_request.width) +
                " height=" + std::to_string(m_request.height) + (reason.empty() ? "" : " reason=" + reason));
    if (SendInfoAnswer(m_stream, m_socket, m_options.serverCode, answer) != 0) return Closed("login");
    return status == 0 && !m_options.badMagic;
}

bool Login::ChooseSession(const InfoBlock& received, int32_t& finalStatus) {
    const int32_t joined = received.SessionId();
    if (joined != 0) {
        // Joining another user's session: no list, and the session is that one.
        m_outcome.collaboration = true;
        const ServerSession* other = m_state.sessions.Find(joined);
        m_outcome.session.id = joined;
        m_outcome.session.geometry = other != nullptr ? other->geometry : m_request;
        m_log.Write("collaboration session=" + std::to_string(joined));
        return true;
    }

    if (DropBefore(LoginDrop::SessionList, "before=session-list")) return false;
    const auto& listed = m_state.sessions.Disconnected();
    const std::vector<uint8_t> list = SessionListBytes(listed, static_cast<size_t>(m_options.entrySize));
    m_log.Write("sessions count=" + std::to_string(listed.size()) + " entry-size=" + std::to_string(m_options.entrySize));
    if (SendHalfAndDrop(LoginDrop::SessionListHalf, "inside=session-list", list.data(), list.size())) {
        return false;
    }
    if (m_stream.zRPshWrite(m_socket, list.data(), static_cast<int>(list.size())) != static_cast<int>(list.size())) {
        return Closed("session list");
    }
    uint8_t choice[kSessionChoiceSize];
    if (m_stream.zRPshRead(m_socket, choice, sizeof choice) != static_cast<int>(sizeof choice)) {
        return Closed("session list");
    }
    const int32_t chosen = SessionChoice(choice);
    m_log.Write("choice session=" + std::to_string(chosen));

    if (chosen == kNewSessionChoice) {
        m_outcome.session = m_state.sessions.Create(m_request);
    } else if (const ServerSession* session = m_state.sessions.Find(chosen)) {
        m_outcome.session = *session;
        m_outcome.resumed = true;
    } else {
        m_outcome.session.id = chosen;
        m_outcome.session.geometry = m_request;
        if (finalStatus == 0) finalStatus = kInvalidSessionId;
    }
    return true;
}

bool Login::InitExchange() {
    uint8_t init[kInitRecordSize];
    if (ReadInitMessage(m_stream, m_socket, init) != 0) return Closed("init exchange");
    const auto* banner = reinterpret_cast<const char*>(init + InitRecordLayout::kBanner);
    m_log.Write("init width=" + std::to_string(LoadField<uint16_t>(init, InitRecordLayout::kWidth)) +
                " height=" + std::to_string(LoadField<uint16_t>(init, InitRecordLayout::kHeight)) +
                " depth=" + std::to_string(init[InitRecordLayout::kDepth]) +
                " bpp=" + std::to_string(init[InitRecordLayout::kBitsPerPixel]) +
                " visual=" + std::to_string(init[InitRecordLayout::kVisualClass]) +
                " bandwidth=" + std::to_string(LoadField<uint16_t>(init, InitRecordLayout::kBandwidthClass)) +
                " banner=" + QuotedText(std::string_view(banner, strnlen(banner, InitRecordLayout::kBannerSize))));

    if (DropBefore(LoginDrop::InitReply, "before=init-reply")) return false;
    const uint32_t status = static_cast<uint32_t>(m_options.initStatus);
    const bool failed = std::find(kFailedInitStatuses.begin(), kFailedInitStatuses.end(), status) !=
                        kFailedInitStatuses.end();
    // A resumed session leaves the list only once it is sure to run again.
    if (!failed && m_outcome.resumed) (void)m_state.sessions.Resume(m_outcome.session.id);  // found above

    const SessionGeometry& g = m_outcome.session.geometry;
    uint8_t reply[kInitRecordSize];
    std::memcpy(reply, init, sizeof reply);
    StoreField<uint32_t>(reply, InitRecordLayout::kStatus, status);
    StoreField<uint16_t>(reply, InitRecordLayout::kWidth, static_cast<uint16_t>(g.width));
    StoreField<uint16_t>(reply, InitRecordLayout::kHeight, static_cast<uint16_t>(g.height));
    StoreField<uint16_t>(reply, InitRecordLayout::kDisconnectTimeout, 0);
    StoreField<uint32_t>(reply, InitRecordLayout::kSessionId, static_cast<uint32_t>(m_outcome.session.id));
    reply[InitRecordLayout::kBitsPerPixel] = static_cast<uint8_t>(BitsPerPixel(g.depth));
    reply[InitRecordLayout::kDepth] = static_cast<uint8_t>(g.depth);
    reply[InitRecordLayout::kVisualClass] = static_cast<uint8_t>(g.visualClass);
    std::memset(reply + InitRecordLayout::kBanner, 0, InitRecordLayout::kBannerSize);
    std::memcpy(reply + InitRecordLayout::kBanner, kBanner, sizeof kBanner);
    m_log.Write("init-reply status=" + std::to_string(status) + " session=" + std::to_string(m_outcome.session.id) +
                " " + Dimensions(g));
    if (m_options.dropAt == LoginDrop::InitReplyHalf) {
        uint8_t frame[kInitFrameSize];
        MakeInitFrame(frame, reply, 0);
        (void)SendHalfAndDrop(LoginDrop::InitReplyHalf, "inside=init-reply", frame, sizeof frame);
        return false;
    }
    if (SendInitReply(m_stream, m_socket, reply) != static_cast<int>(kInitFrameSize)) return Closed("init exchange");
    return !failed;
}

}  // namespace

SessionGeometry GrantedGeometry(const ServerOptions& options, int32_t width, int32_t height, int32_t depth,
                                int32_t visualClass) {
    SessionGeometry g;
    g.width = options.geometry ? options.geometry->first : width;
    g.height = options.geometry ? options.geometry->second : height;
    g.depth = depth == 8 || depth == 16 ? depth : 24;
    g.visualClass = depth == 8 && visualClass != 4 ? 3 : 4;
    return g;
}

LoginOutcome ServeLogin(StreamConnection& stream, int socket, const ServerOptions& options, LoginState& state,
                        EventLog& log) {
    return Login(stream, socket, options, state, log).Run();
}

}  // namespace corvane::testserver
