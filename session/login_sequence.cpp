#include <arpa/inet.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <thread>

#include "config/error_box.h"
#include "config/log.h"
#include "session/login_sequence.h"
#include "session/login_rules.h"
#include "session/login_texts.h"

namespace corvane {

namespace {

void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

}  // namespace

LoginSequence::LoginSequence(SessionState& state, StreamConnection& stream, MessageChannel& channel,
                             StatusMailbox& mailbox, NoticePort& notices, DialogPort& dialogs)
    : m_state(state), m_stream(stream), m_channel(channel), m_mailbox(mailbox), m_notices(notices), m_dialogs(dialogs) {}

void LoginSequence::Fail(FailureKind kind, const std::string& text, int logLevel, const std::string& logText,
                         const std::string& title) {
    ReportFailure(FailureReport{kind, text, logLevel, logText, title}, m_mailbox, m_notices);
}

int LoginSequence::ErrorRoutine(const std::string& text, bool wait) {
    Fail(wait ? FailureKind::Fatal : FailureKind::FatalNoPause, text);
    return kExitError;
}

void LoginSequence::WriteRequestIntoInit() {
    StoreField<uint16_t>(m_state.minit.data(), InitRecordLayout::kWidth, static_cast<uint16_t>(m_state.settings.displayWidth));
    StoreField<uint16_t>(m_state.minit.data(), InitRecordLayout::kHeight, static_cast<uint16_t>(m_state.settings.displayHeight));
    m_state.minit[InitRecordLayout::kDepth] = static_cast<uint8_t>(m_state.settings.displayDepth);
    m_state.minit[InitRecordLayout::kVisualClass] = static_cast<uint8_t>(m_state.settings.displayVisual);
}

int LoginSequence::ConnectTry(const ConnectRequest& request, bool redirected) {
    int socket = m_channel.Socket();
    m_stream.StartSslLibrary();
    if (m_stream.CreateSslContext() == 0) {
        m_stream.AttachSsl(socket);
        (void)m_stream.SslHandshake();
    }

    m_state.info = InfoBlock();
    if (!m_state.info.SetUserName(m_state.settings.deviceUserName) || !m_state.info.SetPassword(m_state.settings.password)) {
        return kConnectInfoFailed;
    }
    m_state.info.SetGeometry({request.width, request.height, request.depth, request.bitsPerPixel, request.visualClass});
    m_state.info.SetSessionId(request.sessionId);
    m_state.info.SetProjectId("");
    if (!m_state.settings.projectID.empty() && std::isalnum(static_cast<unsigned char>(m_state.settings.projectID[0]))) {
        m_state.info.SetProjectId(m_state.settings.projectID);
    }
    m_state.info.SetEnvironment("");
    if (!m_state.env.Text().empty()) m_state.info.SetEnvironment(m_state.env.Text());
    m_state.info.SetVersion(900);
    if (redirected) m_state.info.SetServerVariantFlag(1);

    int put = InfoPutToSocket(m_stream, socket, m_state.info, m_state.settings.serverCode);
    DebugPrint(1, "Status from info put: %d\n", put);
    if (put <= 0) return kConnectInfoFailed;
    int got = InfoGetFromSocket(m_stream, socket, m_state.info, m_state.settings.serverCode);
    DebugPrint(1, "** Status from info get: %d\n", got);
    if (got < 0) return kConnectInfoFailed;
    int status = m_state.info.Status();
    DebugPrint(1, "CNCT:      status: %d\n", status);
    return status;
}

bool LoginSequence::Adopt(int socket) {
    m_channel.SetSocket(socket);
    // The shut-down sets the exit flag before it closes the channel's socket: a socket that
    // arrives after that close is closed here, so no read can block on it.
    if (!m_state.flags.exit.load()) return true;
    m_channel.CloseSocket();
    return false;
}

int LoginSequence::cnctConnect(ConnectRequest& request, bool afterRedirect) {
    DebugPrint(100, "CNCT:    %s:%d    disc. timeout:%d\n", request.host.c_str(), request.port,
               request.disconnectTimeout);
    int socket = m_stream.OpenConnection(request.host, request.port);
    if (socket < 0) {
        DebugPrint(1, "CNCT:      Error:  Could not connect to server!\n");
        // The stream has printed the system's reason when the system gave one; errno is not
        // the reason for a host that did not resolve or a port out of range.
        return kConnectNoConnection;
    }
    if (!Adopt(socket)) return kConnectNoConnection;
    int counter = 0;  // lives across redirects
    bool redirected = afterRedirect;
    for (;;) {
        int status = ConnectTry(request, redirected);
        if (status == kConnectInfoFailed) return kConnectInfoFailed;
        if (m_state.info.ServerVariantFlag() != 2) {
            return status == 0 ? m_channel.Socket() : MapLoginStatus(status);
        }

        DebugPrint(1, "JKT Server detected... closing connection\n");
        m_channel.CloseSocket();
        m_stream.ReleaseSsl();
        InfoGeometry g = m_state.info.Geometry();
        request.width = m_state.settings.displayWidth = g.width;
        request.height = m_state.settings.displayHeight = g.height;
        request.depth = m_state.settings.displayDepth = g.depth;
        request.bitsPerPixel = g.bitsPerPixel;
        request.visualClass = m_state.settings.displayVisual = g.visualClass;
        static constexpr char kBar[] = "-\\|/";
        for (;;) {
            ++counter;
            DebugPrint(1, "Trying connection to QEl JKT Server... (attempt #%u)\n", static_cast<unsigned>(counter));
            char wait[32];
            std::snprintf(wait, sizeof wait, "Please wait %c", kBar[(counter - 1) % 4]);
            m_mailbox.Post(kStatusAuthentication, wait);
            socket = m_stream.OpenConnection(request.host, request.port);
            DebugPrint(1, "Return from connect request to QEl JKT Server = %d  Err: %d\n", socket,
                       WinsockCodeFromErrno(errno));
            if (socket >= 0) {
                --counter;
                if (!Adopt(socket)) return kConnectNoConnection;
                redirected = true;
                break;
            }
            SleepMs(1000);
            if (counter > 120) {
                m_mailbox.Post(kStatusClearAuthentication, "");
                DebugPrint(1, "CNCT:      Error:  Could not connect to server!\n");
                return kConnectNoConnection;
            }
        }
    }
}

void LoginSequence::ShowLoginFailure(int code) {
    std::string text = LoginFailureText(code, m_state.settings.protocolType != 0 && m_state.settings.useProxy != 0);
    if (code == -1007) {
        std::string user = m_state.settings.demoMode ? "demo" : m_state.settings.deviceUserName;
        m_mailbox.Post(kStatusLoggingOn, user);
        m_notices.PauseForUser(1000);
        m_mailbox.Post(kStatusAuthentication, "Authenticating:");
        m_notices.PauseForUser(1000);
        m_mailbox.Post(kStatusAuthentication, "Authenticating: Failed");
        m_notices.PauseForUser(1000);
    }
    Fail(FailureKind::LoginAttempt, text, 1);
}

int LoginSequence::Login(bool& attached) {
    attached = false;
    for (int attempt = 1; attempt <= 3; ++attempt) {
        DebugPrint(1, "Starting Login Session\n");
        WriteRequestIntoInit();
        m_state.minit[InitRecordLayout::kBackingStore] = static_cast<uint8_t>(m_state.settings.backingStore);
        std::memset(&m_state.minit[InitRecordLayout::kAddOptions], 0, InitRecordLayout::kAddOptionsSize);
        std::strncpy(reinterpret_cast<char*>(&m_state.minit[InitRecordLayout::kAddOptions]),
                     m_state.settings.addOptions.c_str(), InitRecordLayout::kAddOptionsSize - 1);
        m_state.collaborationFlag = m_state.settings.sessionID;
        m_state.sessionId = m_state.settings.sessionID;
        DebugPrint(1, "Session ID: %d\n", m_state.sessionId);
        DebugPrint(1, "CollaborationFlag: %d\n", m_state.collaborationFlag);
        DebugPrint(1, "MaxScreenHeight: %d\n", m_state.settings.displayHeight);
        DebugPrint(1, "MaxScreenWidth: %d\n", m_state.settings.displayWidth);
        DebugPrint(1, "ColorDepth: %d\n", m_state.settings.displayDepth);
        DebugPrint(1, "VisualClass: %d\n", m_state.settings.displayVisual);
        DebugPrint(1, "BackingStore: %d\n", m_state.settings.backingStore);
        DebugPrint(1, "LogFile: %s\n", m_state.settings.logPath.c_str());
        DebugPrint(1, "Add Options: %s\n", m_state.settings.addOptions.c_str());
        DebugPrint(1, "Port no. to connect: %d\n", m_state.settings.displayServerPort);
        DebugPrint(1, "DeviceUserName = %s\n", m_state.settings.deviceUserName.c_str());
        DebugPrint(1, "DisplayServerAddress = %s\n", m_state.settings.displayServerAddress.c_str());
        DebugPrint(1, "ServerCode = %s\n", m_state.settings.serverCode.c_str());
        DebugPrint(1, "m_zrpEnvVars = \"%s\"\n", m_state.env.Text().c_str());

        int code = 0;
        int bpp = BitsPerPixel(m_state.settings.displayDepth);
        if (bpp == 0) {
            char text[256];
            std::snprintf(text, sizeof text,
                          "Error: Color Depth of %d is not supported.\r\nValid entries are:\r\n"
                          "Color Depth 8 - Visual Class 3\r\nColor Depth 16 - Visual Class 4\r\n"
                          "Color Depth 24 - Visual Class 4",
                          m_state.settings.displayDepth);
            Fail(FailureKind::UnusableSetting, text, 1);
        } else {
            m_state.minit[InitRecordLayout::kBitsPerPixel] = static_cast<uint8_t>(bpp);
            if (m_state.settings.useGLPlus && attempt == 1) {
                std::memset(&m_state.minit[InitRecordLayout::kBanner], 0, InitRecordLayout::kBannerSize);
                std::memcpy(&m_state.minit[InitRecordLayout::kBanner], "GL+  ", 6);
            }
            if (m_state.settings.protocolType == 0) m_state.settings.useProxy = 0;
            if (m_state.settings.useProxy == 0) {
                m_state.settings.proxyHost.clear();
                m_state.settings.proxyPort = 0;
            }
            DebugPrint(1, " ProxyPort %d UseProxy? %d  ProxyHost %s  Protocol %d\n", m_state.settings.proxyPort,
                       m_state.settings.useProxy, m_state.settings.proxyHost.c_str(), m_state.settings.protocolType);
            m_stream.SetTransportMode(m_state.settings.protocolType);
            m_stream.SetProxyRequest(m_state.settings.useProxy != 0, m_state.settings.displayServerAddress,
                                     m_state.settings.displayServerPort);
            DebugPrint(1, "Connecting To zRP Server  Host: %s:%d  Username: %s\n",
                       m_state.settings.displayServerAddress.c_str(), m_state.settings.displayServerPort,
                       m_state.settings.deviceUserName.c_str());
            char where[160];
            std::snprintf(where, sizeof where, "%s  Port %d", m_state.settings.displayServerAddress.c_str(),
                          m_state.settings.displayServerPort);
            m_mailbox.Post(kStatusConnecting, where);
            m_notices.PauseForUser(250);
            DebugPrint(1, "pixdepth %d  bitsppix %d\n", m_state.settings.displayDepth, bpp);

            ConnectRequest request;
            bool proxy = m_state.settings.useProxy != 0;
            request.host = proxy ? m_state.settings.proxyHost : m_state.settings.displayServerAddress;
            request.port = proxy ? m_state.settings.proxyPort : m_state.settings.displayServerPort;
            request.width = m_state.settings.displayWidth;
            request.height = m_state.settings.displayHeight;
            request.depth = m_state.settings.displayDepth;
            request.bitsPerPixel = bpp;
            request.visualClass = m_state.settings.displayVisual;
            request.sessionId = m_state.sessionId;
            request.disconnectTimeout = LoadField<uint16_t>(m_state.minit.data(), InitRecordLayout::kDisconnectTimeout);
            code = cnctConnect(request, false);
            DebugPrint(1, "Return from cnctConnect = %d\n", code);
            if (code < 0) {
                // A refused attempt leaves nothing open behind it.
                m_channel.CloseSocket();
                m_stream.ReleaseSsl();
            }
            WriteRequestIntoInit();
            m_state.minit[InitRecordLayout::kBitsPerPixel] = static_cast<uint8_t>(BitsPerPixel(m_state.settings.displayDepth));
            if (code >= 0) return FinishLogin(attached);

            if (!IsKnownLoginFailure(code)) {
                (void)ErrorRoutine("Error:  Unknown connection error to remote host.", false);
                ReportSocketErrorCode("Error:  Unknown connection error to remote host.", WinsockCodeFromErrno(errno));
                return kExitError;
            }
            ShowLoginFailure(code);
            if (m_state.settings.demoMode) return ErrorRoutine("Error:  Unable to connect to server.");
            if (m_state.settings.noRetries) {
                m_notices.PauseForUser(500);
                return ErrorRoutine(LoginFailureText(code, m_state.settings.useProxy != 0));
            }
            m_notices.PauseForUser(3000);
        }

        // The next attempt starts from a fresh environment block and asks for the password.
        m_state.env.Clear();
        m_state.env.ReadDefinitions(!m_state.settings.connectionFilePath.empty() ? m_state.settings.connectionFilePath
                                                                     : m_state.settings.siteFilePath);
        const int answer = AskLoginDialog(m_dialogs, &DialogPort::EnterPasswordDialog, m_state.settings, m_state.flags.exit);
        if (answer == kQuitting) return kExitNormal;
        if (answer != 0) {
            DebugPrint(1, "Enter Password dialog left; the client ends with %d\n", answer);
            return answer;
        }
        m_notices.PauseForUser(250);
        m_mailbox.Post(kStatusClearAll, "");
        m_notices.PauseForUser(250);
    }
    return ErrorRoutine("Error:  Exceeded Login retries!");
}

int LoginSequence::ReadSessionList(bool& proceed) {
    proceed = false;
    int socket = m_channel.Socket();
    DebugPrint(1, "Reading info about disconnected sessions\n");
    uint8_t header[kSessionListHeaderSize];
    if (m_stream.zRPshRead(socket, header, sizeof header) != static_cast<int>(sizeof header)) {
        return ErrorRoutine("Error:  Unable to communicate with\r\n           Corvane server.");
    }
    int32_t count = static_cast<int32_t>(ntohl(LoadField<uint32_t>(header, 0)));
    int32_t entrySize = static_cast<int32_t>(ntohl(LoadField<uint32_t>(header, 4)));
    if (count < 0 || count > kMaxDisconnectedSessions || entrySize != static_cast<int32_t>(kSessionEntrySize)) {
        Fail(FailureKind::SessionNotice, "Error:  Invalid zRP Server or wrong version", 1,
             "Error: Invalid zRP Server or wrong version");
        return kExitNormal;
    }
    DebugPrint(1, "Found %d disconnected sessions\n", count);
    m_state.sessions = SessionTable();
    int32_t choice = kNewSessionId;
    if (count > 0) {
        DebugPrint(1, "Reading %d bytes\n", count * static_cast<int>(kSessionEntrySize));
        std::vector<uint8_t> entries(static_cast<size_t>(count) * kSessionEntrySize);
        if (m_stream.zRPshRead(socket, entries.data(), static_cast<int>(entries.size())) !=
            static_cast<int>(entries.size())) {
            return ErrorRoutine("Error:  Unable to communicate with\r\n           Corvane server.");
        }
        m_state.sessions.Parse(entries.data(), count);
        for (int i = 0; i < count; ++i) {
            DebugPrint(1, "%2d  SID: %4d   PID: %6d\n", i, m_state.sessions.Entries()[i].sid, m_state.sessions.Entries()[i].pid);
        }
        if (m_state.settings.demoMode) {
            choice = kNewSessionId;
        } else {
            std::future<int> answer = m_dialogs.SessionControlDialog(m_state.sessions);
            // Quitting while the dialog is open ends the login like a refused choice.
            choice = AwaitAnswer(answer, m_state.flags.exit).value_or(-1);
        }
    }
    if (choice < 0) {
        Fail(FailureKind::SessionNotice, "Error:  Invalid SessionID", 1,
             "Error: Invalid SessionID " + std::to_string(choice));
        return kExitNormal;
    }
    m_state.sessionId = choice;
    DebugPrint(1, "m_state.sessionId:  %d\n", m_state.sessionId);
    auto record = SessionChoiceRecord(choice);
    if (m_stream.zRPshWrite(socket, record.data(), static_cast<int>(record.size())) != static_cast<int>(record.size())) {
        return ErrorRoutine("Error:  Unable to communicate with\r\n           Corvane server.");
    }
    if (choice != kNewSessionId) {
        const SessionEntry* entry = m_state.sessions.Find(choice);
        if (entry == nullptr) return ErrorRoutine("Error: Internal error 43.");
        m_state.settings.displayDepth = entry->depth;
        m_state.settings.displayVisual = entry->visualClass;
        m_state.settings.displayWidth = entry->width;
        m_state.settings.displayHeight = entry->height;
        WriteRequestIntoInit();
        m_state.minit[InitRecordLayout::kBitsPerPixel] = static_cast<uint8_t>(BitsPerPixel(entry->depth));
    }
    proceed = true;
    return kExitNormal;
}

int LoginSequence::FinalBlock(int socket, LoginKind kind) {
    if (kind == LoginKind::First) DebugPrint(2, "---- Get last infobuf from server ----\n");
    if (InfoGetFromSocket(m_stream, socket, m_state.info, m_state.settings.serverCode) < 0) return kConnectInfoFailed;
    if (kind == LoginKind::First) DebugPrint(2, "---- Got last infobuf from server ----\n");

    // The session itself never goes through the proxy; TLS starts again on the bare socket.
    m_stream.ReleaseSsl();
    m_stream.SetProxyRequest(false, m_state.settings.displayServerAddress, m_state.settings.displayServerPort);
    if (m_stream.CreateSslContext() == 0) {
        m_stream.AttachSsl(socket);
        (void)m_stream.SslHandshake();
    }
    const int status = m_state.info.Status();
    DebugPrint(1, "zrpdc: Final connection status: %d\n", status);
    if (status == 0) SetVersions(m_state.info);
    return status;
}

int LoginSequence::InitExchange(LoginKind kind) {
    const uint16_t bandwidth = BandwidthClass(m_state.settings.displayBandwidth);
    StoreField<uint16_t>(m_state.minit.data(), InitRecordLayout::kBandwidthClass, bandwidth);
    DebugPrint(1, "Bandwidth = %d\n", bandwidth);
    if (kind == LoginKind::First) {
        m_mailbox.Post(kStatusAuthentication, "Authenticating:");
        m_notices.PauseForUser(250);
    }
    m_requestedWidth = m_state.settings.displayWidth;
    m_requestedHeight = m_state.settings.displayHeight;
    if (m_channel.SendInitMessage(m_state.minit.data()) != static_cast<int>(kInitFrameSize)) return -1;
    DebugPrint(10, "Receiving m_state.minit\n");
    std::array<uint8_t, kInitRecordSize> reply{};
    if (m_channel.ReadInitReply(reply.data()) != 0) return -1;
    if (kind == LoginKind::First) {
        DebugPrint(10, "Got m_state.minit: %p\n", static_cast<void*>(m_state.minit.data()));
    } else {
        DebugPrint(10, "Got m_state.minit\n");
    }
    m_state.minit = reply;
    return 0;
}

void LoginSequence::SetVersions(const InfoBlock& block) {
    int p = block.ProtocolVersion();
    DebugPrint(1, "Using protocol version %s\n", VersionText(p).c_str());
    std::string serverText;
    if (p < 200) {
        m_state.protocolVersion = 100;
        m_state.serverVersion = 300;
        serverText = "3.xx";
    } else {
        m_state.protocolVersion = p;
        m_state.serverVersion = block.Version();
        serverText = VersionText(m_state.serverVersion);
    }
    DebugPrint(1, "Connected to server version %s\n", serverText.c_str());
}

void LoginSequence::LogInitReply(int requestedWidth, int requestedHeight) {
    int width = LoadField<uint16_t>(m_state.minit.data(), InitRecordLayout::kWidth);
    int height = LoadField<uint16_t>(m_state.minit.data(), InitRecordLayout::kHeight);
    if (width != requestedWidth || height != requestedHeight) {
        DebugPrint(1, "Width and height reported from server are different from client.\n");
    }
    DebugPrint(1, "Returned Xzrp zrpScreenWidth: %d\n", width);
    DebugPrint(1, "Returned Xzrp zrpScreenHeight: %d\n", height);
    DebugPrint(1, "Returned Xzrp zrpScreenDepth: %d\n", m_state.minit[InitRecordLayout::kDepth]);
    DebugPrint(1, "Returned Xzrp initstat: %d\n", LoadField<uint32_t>(m_state.minit.data(), InitRecordLayout::kStatus));
    const char* banner = reinterpret_cast<const char*>(&m_state.minit[InitRecordLayout::kBanner]);
    m_state.flags.clipboardSync.store(std::strncmp(banner, "Corvane(TM) ", 12) != 0);
}

void LoginSequence::BuildCaption() {
    std::string banner(reinterpret_cast<const char*>(&m_state.minit[InitRecordLayout::kBanner]),
                       strnlen(reinterpret_cast<const char*>(&m_state.minit[InitRecordLayout::kBanner]),
                               InitRecordLayout::kBannerSize));
    std::string base = " " + (m_state.settings.demoMode ? std::string("Corvane Demo -- User \"demo\"") : banner);
    std::string caption = base;
    if (m_state.collaborationFlag == 0) caption += "  SID:" + std::to_string(m_state.sessionId);
    if (m_state.flags.localMode.load()) caption += " [Shift]-[F5] to toggle Local Mode";
    m_state.SetCaption(caption);
    m_notices.SetTitle(caption);
}

int LoginSequence::FinishLogin(bool& attached) {
    int socket = m_channel.Socket();
    m_stream.SetSocketBuffers(socket);
    m_mailbox.Post(kStatusLoggingOn, m_state.settings.demoMode ? "demo" : m_state.settings.deviceUserName);
    m_notices.PauseForUser(250);

    if (m_state.collaborationFlag == 0) {
        bool proceed = false;
        int code = ReadSessionList(proceed);
        if (!proceed) return code;
    }

    const int status = FinalBlock(socket, LoginKind::First);
    if (status == kConnectInfoFailed) return ErrorRoutine(LoginFailureText(kConnectInfoFailed, false));
    if (status != 0) {
        const char* text = FinalStatusText(status);
        if (text != nullptr) return ErrorRoutine(text);
        (void)ErrorRoutine("Error:  Unknown error from remote host.", false);
        ReportSocketErrorCode("Error:  Unknown error from remote host.", WinsockCodeFromErrno(errno));
        return kExitError;
    }

    InfoGeometry g = m_state.info.Geometry();
    if (m_state.info.SessionId() == 100) {
        DebugPrint(1, "Getting Info:  %d x %d x %d (%d bpp) vc:%d\n", g.width, g.height, g.depth, g.bitsPerPixel,
                   g.visualClass);
        m_state.settings.displayWidth = g.width;
        m_state.settings.displayHeight = g.height;
        WriteRequestIntoInit();
    }
    if (m_state.collaborationFlag != 0) {
        m_state.settings.displayDepth = g.depth;
        m_state.settings.displayVisual = g.visualClass;
        m_state.settings.displayWidth = g.width;
        m_state.settings.displayHeight = g.height;
        WriteRequestIntoInit();
        m_state.flags.localMode.store(true);
    }
    if (m_state.minit[InitRecordLayout::kDepth] != 24) m_state.settings.useGLPlus = 0;
    if (InitExchange(LoginKind::First) != 0) return ErrorRoutine(LoginFailureText(kConnectInfoFailed, false));
    if (const char* text = InitStatusText(LoadField<uint32_t>(m_state.minit.data(), InitRecordLayout::kStatus), false)) {
        return ErrorRoutine(text);
    }
    LogInitReply(m_requestedWidth, m_requestedHeight);
    const char* banner = reinterpret_cast<const char*>(&m_state.minit[InitRecordLayout::kBanner]);
    if (std::strncmp(banner, "Joint Desk ", 11) == 0) m_state.flags.localMode.store(true);

    int width = LoadField<uint16_t>(m_state.minit.data(), InitRecordLayout::kWidth);
    int height = LoadField<uint16_t>(m_state.minit.data(), InitRecordLayout::kHeight);
    if (!m_channel.AllocateBuffers(width, height, m_state.minit[InitRecordLayout::kDepth])) {
        return ErrorRoutine("Can't reallocate message buffers!");
    }
    m_stream.LogSocketBuffers(m_channel.Socket());
    m_state.sessionId = static_cast<int32_t>(LoadField<uint32_t>(m_state.minit.data(), InitRecordLayout::kSessionId));
    m_mailbox.Post(kStatusAuthentication, "Authenticating: Complete");
    BuildCaption();
    attached = true;
    return kExitNormal;
}

int LoginSequence::LoginAgain() {
    ConnectRequest request;
    request.host = m_state.settings.displayServerAddress;
    request.port = m_state.settings.displayServerPort;
    request.width = LoadField<uint16_t>(m_state.minit.data(), InitRecordLayout::kWidth);
    request.height = LoadField<uint16_t>(m_state.minit.data(), InitRecordLayout::kHeight);
    request.depth = m_state.minit[InitRecordLayout::kDepth];
    request.bitsPerPixel = m_state.minit[InitRecordLayout::kBitsPerPixel];
    request.visualClass = m_state.settings.displayVisual;
    request.sessionId = 0;
    request.disconnectTimeout = LoadField<uint16_t>(m_state.minit.data(), InitRecordLayout::kDisconnectTimeout);
    // Never through the proxy; the transport stays as it was.
    m_stream.SetProxyRequest(false, request.host, request.port);
    // A failed connection leaves no socket; the read below then fails and says so.
    int socket = cnctConnect(request, false);
    DebugPrint(1, "Return from cnctConnect = %d\n", socket);
    if (socket >= 0) m_stream.SetSocketBuffers(socket);

    DebugPrint(1, "Reading info about disconnected sessions\n");
    uint8_t header[kSessionListHeaderSize];
    int n = socket >= 0 ? m_stream.zRPshRead(socket, header, sizeof header) : -1;
    if (n != static_cast<int>(sizeof header)) {
        Fail(FailureKind::SessionNotice, "Error:  Invalid Data", 1,
             "Error: Read wrong amount of data from server: " + std::to_string(n));
        return 0;
    }
    int32_t count = static_cast<int32_t>(ntohl(LoadField<uint32_t>(header, 0)));
    int32_t entrySize = static_cast<int32_t>(ntohl(LoadField<uint32_t>(header, 4)));
    DebugPrint(1, "Found %d disconnected sessions\n", count);
    // The table holds 50 entries of 384 bytes; a larger list is not read into it.
    if (count < 0 || count > kMaxDisconnectedSessions || (count > 0 && entrySize != static_cast<int32_t>(kSessionEntrySize))) {
        DebugPrint(0, "Error: Invalid zRP Server or wrong version\n");
        return -1;
    }
    if (count > 0) {
        DebugPrint(1, "Reading %d bytes\n", count * static_cast<int>(kSessionEntrySize));
        std::vector<uint8_t> entries(static_cast<size_t>(count) * kSessionEntrySize);
        if (m_stream.zRPshRead(socket, entries.data(), static_cast<int>(entries.size())) !=
            static_cast<int>(entries.size())) {
            return -1;
        }
        m_state.sessions.Parse(entries.data(), count);
        for (int i = 0; i < count; ++i) {
            DebugPrint(1, "%2d  SID: %4d   PID: %6d\n", i, m_state.sessions.Entries()[i].sid, m_state.sessions.Entries()[i].pid);
        }
    }
    m_state.sessionId = kNewSessionId;
    DebugPrint(1, "m_state.sessionId:  %d\n", m_state.sessionId);
    auto choice = SessionChoiceRecord(kNewSessionId);
    if (m_stream.zRPshWrite(socket, choice.data(), static_cast<int>(choice.size())) != static_cast<int>(choice.size())) {
        return -1;
    }

    const int status = FinalBlock(socket, LoginKind::Reconnection);
    if (status == kConnectInfoFailed) return -1;
    if (status != 0) {
        if (FinalStatusText(status) == nullptr) {
            ReportSocketErrorCode("Error:  Unknown error from remote host.", WinsockCodeFromErrno(errno));
        }
        return -1;
    }
    InfoGeometry g = m_state.info.Geometry();
    m_state.settings.displayWidth = g.width;
    m_state.settings.displayHeight = g.height;
    m_state.settings.displayDepth = g.depth;
    m_state.settings.displayVisual = g.visualClass;
    WriteRequestIntoInit();
    if (g.depth != 24) m_state.settings.useGLPlus = 0;
    if (InitExchange(LoginKind::Reconnection) != 0) return -1;
    if (const char* text = InitStatusText(LoadField<uint32_t>(m_state.minit.data(), InitRecordLayout::kStatus), true)) {
        Fail(FailureKind::SessionNotice, text);
        return -1;
    }
    LogInitReply(m_requestedWidth, m_requestedHeight);
    DebugPrint(1, "Using socket %d\n", socket);
    m_stream.LogSocketBuffers(socket);
    m_state.sessionId = static_cast<int32_t>(LoadField<uint32_t>(m_state.minit.data(), InitRecordLayout::kSessionId));
    DebugPrint(10, "New session ID: %d\n", m_state.sessionId);
    return 1;
}

}  // namespace corvane
