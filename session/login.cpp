// The login: connection, information blocks (with the server-variant redirect), session
// selection, the TLS restart, the final status and the init exchange.
#include <arpa/inet.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <thread>

#include "config/error_box.h"
#include "config/log.h"
#include "session/display_client_app.h"
#include "session/login_rules.h"
#include "session/login_texts.h"

namespace corvane {

namespace {

void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

}  // namespace

int CDisplayClientApp::ErrorRoutine(const std::string& text, bool wait) {
    Fail(wait ? FailureKind::Fatal : FailureKind::FatalNoPause, text);
    return kExitError;
}

void CDisplayClientApp::WriteRequestIntoInit() {
    StoreField<uint16_t>(m_minit.data(), InitRecordLayout::kWidth, static_cast<uint16_t>(m_settings.displayWidth));
    StoreField<uint16_t>(m_minit.data(), InitRecordLayout::kHeight, static_cast<uint16_t>(m_settings.displayHeight));
    m_minit[InitRecordLayout::kDepth] = static_cast<uint8_t>(m_settings.displayDepth);
    m_minit[InitRecordLayout::kVisualClass] = static_cast<uint8_t>(m_settings.displayVisual);
}

int CDisplayClientApp::ConnectTry(const ConnectRequest& request, bool redirected) {
    int socket = m_channel.Socket();
    m_stream.StartSslLibrary();
    if (m_stream.CreateSslContext() == 0) {
        m_stream.AttachSsl(socket);
        (void)m_stream.SslHandshake();
    }

    m_info = InfoBlock();
    if (!m_info.SetUserName(m_settings.deviceUserName) || !m_info.SetPassword(m_settings.password)) {
        return kConnectInfoFailed;
    }
    m_info.SetGeometry({request.width, request.height, request.depth, request.bitsPerPixel, request.visualClass});
    m_info.SetSessionId(request.sessionId);
    m_info.SetProjectId("");
    if (!m_settings.projectID.empty() && std::isalnum(static_cast<unsigned char>(m_settings.projectID[0]))) {
        m_info.SetProjectId(m_settings.projectID);
    }
    m_info.SetEnvironment("");
    if (!m_env.Text().empty()) m_info.SetEnvironment(m_env.Text());
    m_info.SetVersion(900);
    if (redirected) m_info.SetServerVariantFlag(1);

    int put = InfoPutToSocket(m_stream, socket, m_info, m_settings.serverCode);
    DebugPrint(1, "Status from info put: %d\n", put);
    if (put <= 0) return kConnectInfoFailed;
    int got = InfoGetFromSocket(m_stream, socket, m_info, m_settings.serverCode);
    DebugPrint(1, "** Status from info get: %d\n", got);
    if (got < 0) return kConnectInfoFailed;
    int status = m_info.Status();
    DebugPrint(1, "CNCT:      status: %d\n", status);
    return status;
}

int CDisplayClientApp::cnctConnect(ConnectRequest& request, bool afterRedirect) {
    DebugPrint(100, "CNCT:    %s:%d    disc. timeout:%d\n", request.host.c_str(), request.port,
               request.disconnectTimeout);
    int socket = m_stream.OpenConnection(request.host, request.port);
    if (socket < 0) {
        DebugPrint(1, "CNCT:      Error:  Could not connect to server!\n");
        std::perror("cnctConnect");
        return kConnectNoConnection;
    }
    m_channel.SetSocket(socket);
    int counter = 0;  // lives across redirects
    bool redirected = afterRedirect;
    for (;;) {
        int status = ConnectTry(request, redirected);
        if (status == kConnectInfoFailed) return kConnectInfoFailed;
        if (m_info.ServerVariantFlag() != 2) {
            return status == 0 ? m_channel.Socket() : MapLoginStatus(status);
        }

        DebugPrint(1, "JKT Server detected... closing connection\n");
        CloseSocket();
        m_stream.ReleaseSsl();
        InfoGeometry g = m_info.Geometry();
        request.width = m_settings.displayWidth = g.width;
        request.height = m_settings.displayHeight = g.height;
        request.depth = m_settings.displayDepth = g.depth;
        request.bitsPerPixel = g.bitsPerPixel;
        request.visualClass = m_settings.displayVisual = g.visualClass;
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
                m_channel.SetSocket(socket);
                redirected = true;
                break;
            }
            SleepMs(1000);
            if (counter > 120) {
                m_mailbox.Post(kStatusClearAuthentication, "");
                DebugPrint(1, "CNCT:      Error:  Could not connect to server!\n");
                std::perror("cnctConnect");
                return kConnectNoConnection;
            }
        }
    }
}

void CDisplayClientApp::ShowLoginFailure(int code) {
    std::string text = LoginFailureText(code, m_settings.protocolType != 0 && m_settings.useProxy != 0);
    if (code == -1007) {
        std::string user = m_settings.demoMode ? "demo" : m_settings.deviceUserName;
        m_mailbox.Post(kStatusLoggingOn, user);
        m_notices.PauseForUser(1000);
        m_mailbox.Post(kStatusAuthentication, "Authenticating:");
        m_notices.PauseForUser(1000);
        m_mailbox.Post(kStatusAuthentication, "Authenticating: Failed");
        m_notices.PauseForUser(1000);
    }
    Fail(FailureKind::LoginAttempt, text, 1);
}

int CDisplayClientApp::Login(bool& attached) {
    attached = false;
    for (int attempt = 1; attempt <= 3; ++attempt) {
        DebugPrint(1, "Starting Login Session\n");
        WriteRequestIntoInit();
        m_minit[InitRecordLayout::kBackingStore] = static_cast<uint8_t>(m_settings.backingStore);
        std::memset(&m_minit[InitRecordLayout::kAddOptions], 0, InitRecordLayout::kAddOptionsSize);
        std::strncpy(reinterpret_cast<char*>(&m_minit[InitRecordLayout::kAddOptions]),
                     m_settings.addOptions.c_str(), InitRecordLayout::kAddOptionsSize - 1);
        m_collaborationFlag = m_settings.sessionID;
        m_iSessionID = m_settings.sessionID;
        DebugPrint(1, "Session ID: %d\n", m_iSessionID);
        DebugPrint(1, "CollaborationFlag: %d\n", m_collaborationFlag);
        DebugPrint(1, "MaxScreenHeight: %d\n", m_settings.displayHeight);
        DebugPrint(1, "MaxScreenWidth: %d\n", m_settings.displayWidth);
        DebugPrint(1, "ColorDepth: %d\n", m_settings.displayDepth);
        DebugPrint(1, "VisualClass: %d\n", m_settings.displayVisual);
        DebugPrint(1, "BackingStore: %d\n", m_settings.backingStore);
        DebugPrint(1, "LogFile: %s\n", m_settings.logPath.c_str());
        DebugPrint(1, "Add Options: %s\n", m_settings.addOptions.c_str());
        DebugPrint(1, "Port no. to connect: %d\n", m_settings.displayServerPort);
        DebugPrint(1, "DeviceUserName = %s\n", m_settings.deviceUserName.c_str());
        DebugPrint(1, "DisplayServerAddress = %s\n", m_settings.displayServerAddress.c_str());
        DebugPrint(1, "ServerCode = %s\n", m_settings.serverCode.c_str());
        DebugPrint(1, "m_zrpEnvVars = \"%s\"\n", m_env.Text().c_str());

        int code = 0;
        int bpp = BitsPerPixel(m_settings.displayDepth);
        if (bpp == 0) {
            char text[256];
            std::snprintf(text, sizeof text,
                          "Error: Color Depth of %d is not supported.\r\nValid entries are:\r\n"
                          "Color Depth 8 - Visual Class 3\r\nColor Depth 16 - Visual Class 4\r\n"
                          "Color Depth 24 - Visual Class 4",
                          m_settings.displayDepth);
            DebugPrint(1, "%s\n", text);
            m_mailbox.PostError(text);
            m_notices.PauseForUser(3000);
        } else {
            m_minit[InitRecordLayout::kBitsPerPixel] = static_cast<uint8_t>(bpp);
            if (m_settings.useGLPlus && attempt == 1) {
                std::memset(&m_minit[InitRecordLayout::kBanner], 0, InitRecordLayout::kBannerSize);
                std::memcpy(&m_minit[InitRecordLayout::kBanner], "GL+  ", 6);
            }
            if (m_settings.protocolType == 0) m_settings.useProxy = 0;
            if (m_settings.useProxy == 0) {
                m_settings.proxyHost.clear();
                m_settings.proxyPort = 0;
            }
            DebugPrint(1, " ProxyPort %d UseProxy? %d  ProxyHost %s  Protocol %d\n", m_settings.proxyPort,
                       m_settings.useProxy, m_settings.proxyHost.c_str(), m_settings.protocolType);
            m_stream.SetTransportMode(m_settings.protocolType);
            m_stream.SetProxyRequest(m_settings.useProxy != 0, m_settings.displayServerAddress,
                                     m_settings.displayServerPort);
            DebugPrint(1, "Connecting To zRP Server  Host: %s:%d  Username: %s\n",
                       m_settings.displayServerAddress.c_str(), m_settings.displayServerPort,
                       m_settings.deviceUserName.c_str());
            char where[160];
            std::snprintf(where, sizeof where, "%s  Port %d", m_settings.displayServerAddress.c_str(),
                          m_settings.displayServerPort);
            m_mailbox.Post(kStatusConnecting, where);
            m_notices.PauseForUser(250);
            DebugPrint(1, "pixdepth %d  bitsppix %d\n", m_settings.displayDepth, bpp);

            ConnectRequest request;
            bool proxy = m_settings.useProxy != 0;
            request.host = proxy ? m_settings.proxyHost : m_settings.displayServerAddress;
            request.port = proxy ? m_settings.proxyPort : m_settings.displayServerPort;
            request.width = m_settings.displayWidth;
            request.height = m_settings.displayHeight;
            request.depth = m_settings.displayDepth;
            request.bitsPerPixel = bpp;
            request.visualClass = m_settings.displayVisual;
            request.sessionId = m_iSessionID;
            request.disconnectTimeout = LoadField<uint16_t>(m_minit.data(), InitRecordLayout::kDisconnectTimeout);
            code = cnctConnect(request, false);
            DebugPrint(1, "Return from cnctConnect = %d\n", code);
            if (code < 0) {
                // A refused attempt leaves nothing open behind it.
                CloseSocket();
                m_stream.ReleaseSsl();
            }
            WriteRequestIntoInit();
            m_minit[InitRecordLayout::kBitsPerPixel] = static_cast<uint8_t>(BitsPerPixel(m_settings.displayDepth));
            if (code >= 0) return FinishLogin(attached);

            if (!IsKnownLoginFailure(code)) {
                (void)ErrorRoutine("Error:  Unknown connection error to remote host.", false);
                ReportSocketErrorCode("Error:  Unknown connection error to remote host.", WinsockCodeFromErrno(errno));
                return kExitError;
            }
            ShowLoginFailure(code);
            if (m_settings.demoMode) return ErrorRoutine("Error:  Unable to connect to server.");
            if (m_settings.noRetries) {
                m_notices.PauseForUser(500);
                return ErrorRoutine(LoginFailureText(code, m_settings.useProxy != 0));
            }
            m_notices.PauseForUser(3000);
        }

        // The next attempt starts from a fresh environment block and asks for the password.
        m_env.Clear();
        m_env.ReadDefinitions(!m_settings.connectionFilePath.empty() ? m_settings.connectionFilePath
                                                                     : m_settings.siteFilePath);
        (void)AskLoginDialog(&DialogPort::EnterPasswordDialog);
        m_notices.PauseForUser(250);
        m_mailbox.Post(kStatusClearAll, "");
        m_notices.PauseForUser(250);
    }
    return ErrorRoutine("Error:  Exceeded Login retries!");
}

int CDisplayClientApp::ReadSessionList(bool& proceed) {
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
    m_sessions = SessionTable();
    int32_t choice = kNewSessionId;
    if (count > 0) {
        DebugPrint(1, "Reading %d bytes\n", count * static_cast<int>(kSessionEntrySize));
        std::vector<uint8_t> entries(static_cast<size_t>(count) * kSessionEntrySize);
        if (m_stream.zRPshRead(socket, entries.data(), static_cast<int>(entries.size())) !=
            static_cast<int>(entries.size())) {
            return ErrorRoutine("Error:  Unable to communicate with\r\n           Corvane server.");
        }
        m_sessions.Parse(entries.data(), count);
        for (int i = 0; i < count; ++i) {
            DebugPrint(1, "%2d  SID: %4d   PID: %6d\n", i, m_sessions.Entries()[i].sid, m_sessions.Entries()[i].pid);
        }
        if (m_settings.demoMode) {
            choice = kNewSessionId;
        } else {
            std::future<int> answer = m_dialogs.SessionControlDialog(m_sessions);
            // Quitting while the dialog is open ends the login like a refused choice.
            choice = AwaitAnswer(answer, m_exitFlag).value_or(-1);
        }
    }
    if (choice < 0) {
        Fail(FailureKind::SessionNotice, "Error:  Invalid SessionID", 1,
             "Error: Invalid SessionID " + std::to_string(choice));
        return kExitNormal;
    }
    m_iSessionID = choice;
    DebugPrint(1, "m_iSessionID:  %d\n", m_iSessionID);
    auto record = SessionChoiceRecord(choice);
    if (m_stream.zRPshWrite(socket, record.data(), static_cast<int>(record.size())) != static_cast<int>(record.size())) {
        return ErrorRoutine("Error:  Unable to communicate with\r\n           Corvane server.");
    }
    if (choice != kNewSessionId) {
        const SessionEntry* entry = m_sessions.Find(choice);
        if (entry == nullptr) return ErrorRoutine("Error: Internal error 43.");
        m_settings.displayDepth = entry->depth;
        m_settings.displayVisual = entry->visualClass;
        m_settings.displayWidth = entry->width;
        m_settings.displayHeight = entry->height;
        WriteRequestIntoInit();
        m_minit[InitRecordLayout::kBitsPerPixel] = static_cast<uint8_t>(BitsPerPixel(entry->depth));
    }
    proceed = true;
    return kExitNormal;
}

int CDisplayClientApp::FinalBlock(int socket, LoginKind kind) {
    if (kind == LoginKind::First) DebugPrint(2, "---- Get last infobuf from server ----\n");
    if (InfoGetFromSocket(m_stream, socket, m_info, m_settings.serverCode) < 0) return kConnectInfoFailed;
    if (kind == LoginKind::First) DebugPrint(2, "---- Got last infobuf from server ----\n");

    // The session itself never goes through the proxy; TLS starts again on the bare socket.
    m_stream.ReleaseSsl();
    m_stream.SetProxyRequest(false, m_settings.displayServerAddress, m_settings.displayServerPort);
    if (m_stream.CreateSslContext() == 0) {
        m_stream.AttachSsl(socket);
        (void)m_stream.SslHandshake();
    }
    const int status = m_info.Status();
    DebugPrint(1, "zrpdc: Final connection status: %d\n", status);
    if (status == 0) SetVersions(m_info);
    return status;
}

int CDisplayClientApp::InitExchange(LoginKind kind) {
    const uint16_t bandwidth = BandwidthClass(m_settings.displayBandwidth);
    StoreField<uint16_t>(m_minit.data(), InitRecordLayout::kBandwidthClass, bandwidth);
    DebugPrint(1, "Bandwidth = %d\n", bandwidth);
    if (kind == LoginKind::First) {
        m_mailbox.Post(kStatusAuthentication, "Authenticating:");
        m_notices.PauseForUser(250);
    }
    m_requestedWidth = m_settings.displayWidth;
    m_requestedHeight = m_settings.displayHeight;
    if (m_channel.SendInitMessage(m_minit.data()) != static_cast<int>(kInitFrameSize)) return -1;
    DebugPrint(10, "Receiving m_minit\n");
    std::array<uint8_t, kInitRecordSize> reply{};
    if (m_channel.ReadInitReply(reply.data()) != 0) return -1;
    if (kind == LoginKind::First) {
        DebugPrint(10, "Got m_minit: %p\n", static_cast<void*>(m_minit.data()));
    } else {
        DebugPrint(10, "Got m_minit\n");
    }
    m_minit = reply;
    return 0;
}

void CDisplayClientApp::SetVersions(const InfoBlock& block) {
    int p = block.ProtocolVersion();
    DebugPrint(1, "Using protocol version %s\n", VersionText(p).c_str());
    std::string serverText;
    if (p < 200) {
        m_protocolVersion = 100;
        m_serverVersion = 300;
        serverText = "3.xx";
    } else {
        m_protocolVersion = p;
        m_serverVersion = block.Version();
        serverText = VersionText(m_serverVersion);
    }
    DebugPrint(1, "Connected to server version %s\n", serverText.c_str());
}

void CDisplayClientApp::LogInitReply(int requestedWidth, int requestedHeight) {
    int width = LoadField<uint16_t>(m_minit.data(), InitRecordLayout::kWidth);
    int height = LoadField<uint16_t>(m_minit.data(), InitRecordLayout::kHeight);
    if (width != requestedWidth || height != requestedHeight) {
        DebugPrint(1, "Width and height reported from server are different from client.\n");
    }
    DebugPrint(1, "Returned Xzrp zrpScreenWidth: %d\n", width);
    DebugPrint(1, "Returned Xzrp zrpScreenHeight: %d\n", height);
    DebugPrint(1, "Returned Xzrp zrpScreenDepth: %d\n", m_minit[InitRecordLayout::kDepth]);
    DebugPrint(1, "Returned Xzrp initstat: %d\n", LoadField<uint32_t>(m_minit.data(), InitRecordLayout::kStatus));
    const char* banner = reinterpret_cast<const char*>(&m_minit[InitRecordLayout::kBanner]);
    m_clipboardSync.store(std::strncmp(banner, "Corvane(TM) ", 12) != 0);
}

void CDisplayClientApp::BuildCaption() {
    std::string banner(reinterpret_cast<const char*>(&m_minit[InitRecordLayout::kBanner]),
                       strnlen(reinterpret_cast<const char*>(&m_minit[InitRecordLayout::kBanner]),
                               InitRecordLayout::kBannerSize));
    std::string base = " " + (m_settings.demoMode ? std::string("Corvane Demo -- User \"demo\"") : banner);
    std::string caption = base;
    if (m_collaborationFlag == 0) caption += "  SID:" + std::to_string(m_iSessionID);
    if (m_localMode.load()) caption += " [Shift]-[F5] to toggle Local Mode";
    {
        std::lock_guard lock(m_captionMutex);
        m_caption = caption;
    }
    m_notices.SetTitle(caption);
}

int CDisplayClientApp::FinishLogin(bool& attached) {
    int socket = m_channel.Socket();
    m_stream.SetSocketBuffers(socket);
    m_mailbox.Post(kStatusLoggingOn, m_settings.demoMode ? "demo" : m_settings.deviceUserName);
    m_notices.PauseForUser(250);

    if (m_collaborationFlag == 0) {
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

    InfoGeometry g = m_info.Geometry();
    if (m_info.SessionId() == 100) {
        DebugPrint(1, "Getting Info:  %d x %d x %d (%d bpp) vc:%d\n", g.width, g.height, g.depth, g.bitsPerPixel,
                   g.visualClass);
        m_settings.displayWidth = g.width;
        m_settings.displayHeight = g.height;
        WriteRequestIntoInit();
    }
    if (m_collaborationFlag != 0) {
        m_settings.displayDepth = g.depth;
        m_settings.displayVisual = g.visualClass;
        m_settings.displayWidth = g.width;
        m_settings.displayHeight = g.height;
        WriteRequestIntoInit();
        m_localMode.store(true);
    }
    if (m_minit[InitRecordLayout::kDepth] != 24) m_settings.useGLPlus = 0;
    if (InitExchange(LoginKind::First) != 0) return ErrorRoutine(LoginFailureText(kConnectInfoFailed, false));
    if (const char* text = InitStatusText(LoadField<uint32_t>(m_minit.data(), InitRecordLayout::kStatus), false)) {
        return ErrorRoutine(text);
    }
    LogInitReply(m_requestedWidth, m_requestedHeight);
    const char* banner = reinterpret_cast<const char*>(&m_minit[InitRecordLayout::kBanner]);
    if (std::strncmp(banner, "Joint Desk ", 11) == 0) m_localMode.store(true);

    int width = LoadField<uint16_t>(m_minit.data(), InitRecordLayout::kWidth);
    int height = LoadField<uint16_t>(m_minit.data(), InitRecordLayout::kHeight);
    if (!m_channel.AllocateBuffers(width, height, m_minit[InitRecordLayout::kDepth])) {
        return ErrorRoutine("Can't reallocate message buffers!");
    }
    m_stream.LogSocketBuffers(m_channel.Socket());
    m_iSessionID = static_cast<int32_t>(LoadField<uint32_t>(m_minit.data(), InitRecordLayout::kSessionId));
    m_mailbox.Post(kStatusAuthentication, "Authenticating: Complete");
    BuildCaption();
    attached = true;
    return kExitNormal;
}

}  // namespace corvane
