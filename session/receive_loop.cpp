// The ProcessMessages thread: dispatching every server message, and reconnecting when the
// server allowed it.
#include <arpa/inet.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "config/error_box.h"
#include "config/log.h"
#include "platform/process.h"
#include "display/compform_table.h"
#include "session/display_client_app.h"
#include "session/login_rules.h"
#include "session/login_texts.h"
#include "session/session_control_codes.h"

namespace corvane {

void CDisplayClientApp::ProcessMessagesThread() {
    DebugPrint(1, "Start ProcessMessages Thread\n");
    DebugPrint(1, "ProcessMsgThreadEntry Priority %d\n", platform::CurrentThreadPriority());
    (void)ProcessMessages();
    DebugPrint(1, "ProcessMessages Thread closing\n");
    CloseSocket();
}

int CDisplayClientApp::ProcessMessages() {
    if (m_settings.useGLPlus) {
        int format = CompformAtIndex(m_settings.compFormat);
        DebugPrint(10, "Client requesting compression format %d\n", format);
        (void)SendSessionControl(kSessionControlRequestFormat, format);
    }
    for (;;) {
        if (m_exitFlag.load()) return 0;
        MessageFrame frame;
        int result = m_channel.ReadMessage(m_display.NextDecodeClass(), frame);
        if (result == 0) result = m_router.Route(frame);
        if (result == 0) m_messageReceived.store(true, std::memory_order_relaxed);
        if (result != -1 || m_shuttingDown.load()) continue;

        int retry = Reconnect();
        DebugPrint(10, "bRetryStatus: %d   socket: %d\n", retry, m_channel.Socket());
        if (retry == 0) {
            m_exitFlag.store(true);
            if (!m_settings.closeDialog) break;
            if (!m_shuttingDown.load()) {
                DebugPrint(1, "Lost communication with remote host.\n");
                m_notices.Minimise();
                m_notices.ErrorBeep();
                m_notices.ShowSessionEndNotice("Connection lost", "Lost communication with remote host.");
                return 1;
            }
        }
        m_autoReconnect.store(false);
    }
    m_notices.Minimise();
    ShutDown();
    return 0;
}

int CDisplayClientApp::Reconnect() {
    if (!m_autoReconnect.load() || m_collaborationFlag != 0) return 0;
    m_paused.store(true);
    m_localMode.store(true);
    // What the user does meanwhile waits: nothing may be written into the new connection's
    // login exchange.
    m_sender.Hold();
    m_notices.ShowReconnecting(true);
    CloseSocket();
    m_stream.ReleaseSsl();
    if (!SleepUnlessQuitting(1000)) return 0;

    ConnectRequest request;
    request.host = m_settings.displayServerAddress;
    request.port = m_settings.displayServerPort;
    request.width = LoadField<uint16_t>(m_minit.data(), InitRecordLayout::kWidth);
    request.height = LoadField<uint16_t>(m_minit.data(), InitRecordLayout::kHeight);
    request.depth = m_minit[InitRecordLayout::kDepth];
    request.bitsPerPixel = m_minit[InitRecordLayout::kBitsPerPixel];
    request.visualClass = m_settings.displayVisual;
    request.sessionId = 0;
    request.disconnectTimeout = LoadField<uint16_t>(m_minit.data(), InitRecordLayout::kDisconnectTimeout);
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
        m_sessions.Parse(entries.data(), count);
        for (int i = 0; i < count; ++i) {
            DebugPrint(1, "%2d  SID: %4d   PID: %6d\n", i, m_sessions.Entries()[i].sid, m_sessions.Entries()[i].pid);
        }
    }
    m_iSessionID = kNewSessionId;
    DebugPrint(1, "m_iSessionID:  %d\n", m_iSessionID);
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
    InfoGeometry g = m_info.Geometry();
    m_settings.displayWidth = g.width;
    m_settings.displayHeight = g.height;
    m_settings.displayDepth = g.depth;
    m_settings.displayVisual = g.visualClass;
    WriteRequestIntoInit();
    if (g.depth != 24) m_settings.useGLPlus = 0;
    if (InitExchange(LoginKind::Reconnection) != 0) return -1;
    if (const char* text = InitStatusText(LoadField<uint32_t>(m_minit.data(), InitRecordLayout::kStatus), true)) {
        Fail(FailureKind::SessionNotice, text);
        return -1;
    }
    LogInitReply(m_requestedWidth, m_requestedHeight);
    DebugPrint(1, "Using socket %d\n", socket);
    m_stream.LogSocketBuffers(socket);
    m_iSessionID = static_cast<int32_t>(LoadField<uint32_t>(m_minit.data(), InitRecordLayout::kSessionId));
    DebugPrint(10, "New session ID: %d\n", m_iSessionID);
    m_localMode.store(false);
    PublishFacts();
    DebugPrint(10, "Start processing messages again...\n");
    m_paused.store(false);
    m_notices.ShowReconnecting(false);
    m_sender.Resume();
    DebugPrint(10, "Retry worked (s=%d)\n", socket);
    return 1;
}

}  // namespace corvane
