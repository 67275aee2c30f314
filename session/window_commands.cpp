// What the windows of a running session ask of it: its facts, its figures and the exit
// dialog's requests.
#include <chrono>
#include <cstring>
#include <memory>
#include <thread>

#include "config/connection_file_writer.h"
#include "config/log.h"
#include "session/display_client_app.h"
#include "session/login_texts.h"
#include "session/session_control_codes.h"

namespace corvane {
namespace {

// How long the exit dialog's requests give the server to act before the client ends.
constexpr auto kSessionControlGrace = std::chrono::milliseconds(500);

}  // namespace

void CDisplayClientApp::PublishFacts() {
    SessionFacts facts;
    facts.demoMode = m_settings.demoMode != 0;
    facts.user = facts.demoMode ? "demo" : m_settings.deviceUserName;
    facts.remoteHost = m_settings.displayServerAddress;
    facts.displayName = m_settings.displayServerName;
    facts.sessionId = m_iSessionID;
    facts.collaborating = m_collaborationFlag != 0;
    const char* banner = reinterpret_cast<const char*>(&m_minit[InitRecordLayout::kBanner]);
    facts.sharedSession = strncmp(banner, "Joint Desk ", 11) == 0;
    facts.disconnectDisabled = m_settings.disableDiscButton != 0;
    facts.projectId = m_settings.projectID;
    facts.serverVersionNumber = m_serverVersion;
    facts.serverVersion = m_protocolVersion < 200 ? "3.xx" : VersionText(m_serverVersion);
    facts.clientVersion = kVersionText;
    facts.titleText = BaseTitle();
    const FrameGeometry geometry = m_frameBuffer.Geometry();
    facts.width = geometry.width;
    facts.height = geometry.sessionHeight;
    facts.depth = geometry.depth;
    facts.fullScreenSession = m_settings.useFullScreenMode != 0;
    facts.seamless = m_settings.useSeamlessWindowingMode != 0;
    facts.monitors = m_settings.monitors;
    facts.keyMapAvailable = m_keyMap.UseKeyMap();
    facts.connectedAt = m_connectedAt;
    facts.configDirectory = m_settings.configDirectory;
    facts.installPath = m_settings.installPath;
    facts.debugDrawingRect = m_settings.debugDrawingRect;
    auto settings = std::make_shared<const ClientSettings>(m_settings);
    std::lock_guard lock(m_factsMutex);
    m_facts = std::move(facts);
    m_publishedSettings = std::move(settings);
}

SessionFacts CDisplayClientApp::Facts() const {
    std::lock_guard lock(m_factsMutex);
    return m_facts;
}

RateSummary CDisplayClientApp::Throughput(bool reset) { return m_channel.Rates().Read(reset); }

int64_t CDisplayClientApp::ServerTime() const { return m_display.ServerTime(); }

void CDisplayClientApp::ExitSession() {
    DebugPrint(1, "In ExitCB\n");
    (void)SendSessionControl(kSessionControlExit);
    EndAfterRequest(true);
}

void CDisplayClientApp::DisconnectSession() {
    DebugPrint(1, "In DisconnectCB\n");
    (void)SendSessionControl(kSessionControlDisconnect);
    EndAfterRequest(false);
}

void CDisplayClientApp::EndAfterRequest(bool exitRequest) {
    // The window goes on answering while the server acts on the request.
    if (m_requestThread.joinable()) return;
    m_requestThread = std::thread([this, exitRequest] {
        if (!SleepUnlessQuitting(static_cast<int>(kSessionControlGrace.count()))) return;
        if (exitRequest && m_delayedExit.load()) {
            // The server closes the session itself once its programs have ended.
            m_localMode.store(false);
            return;
        }
        ShutDown();
    });
}

void CDisplayClientApp::SetDecoderThreadLimit(int limit) {
    m_display.SetThreadLimit(limit);
}

bool CDisplayClientApp::ToggleKeyMapMode() {
    m_keyMap.SetUseKeyMap(!m_keyMap.UseKeyMap());
    return m_keyMap.UseKeyMap();
}

bool CDisplayClientApp::SaveConnectionFile(const std::string& path, bool fullScreenShown) {
    std::shared_ptr<const ClientSettings> settings;
    {
        std::lock_guard lock(m_factsMutex);
        settings = m_publishedSettings;
    }
    if (!settings) return false;
    SaveState state;
    state.fullScreenSession = settings->useFullScreenMode != 0;
    state.windowFullScreen = fullScreenShown;
    return WriteConnectionFile(path, *settings, state) == 0;
}

void CDisplayClientApp::CursorShape(const CursorImage& image) {
    // In local mode the pointer is the user's own.
    if (m_localMode.load()) return;
    m_cursor.SetRemoteCursor(image, m_settings.reverseCursorColor);
}

}  // namespace corvane
