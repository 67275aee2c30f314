#include <chrono>
#include <cstring>
#include <memory>
#include <thread>

#include "config/connection_file_writer.h"
#include "config/log.h"
#include "session/window_commands.h"
#include "session/login_texts.h"
#include "session/session_control_codes.h"

namespace corvane {
namespace {

// How long the exit dialog's requests give the server to act before the client ends.
constexpr auto kSessionControlGrace = std::chrono::milliseconds(500);

}  // namespace

WindowCommands::WindowCommands(Parts parts, std::function<void()> shutDown)
    : m_parts(parts), m_shutDown(std::move(shutDown)) {}

WindowCommands::~WindowCommands() { Join(); }

void WindowCommands::Join() {
    std::thread request;
    {
        std::lock_guard lock(m_mutex);
        request = std::move(m_requestThread);
    }
    if (request.joinable()) request.join();
}

void WindowCommands::Publish() {
    SessionFacts facts;
    facts.demoMode = m_parts.state.settings.demoMode != 0;
    facts.user = facts.demoMode ? "demo" : m_parts.state.settings.deviceUserName;
    facts.remoteHost = m_parts.state.settings.displayServerAddress;
    facts.displayName = m_parts.state.settings.displayServerName;
    facts.sessionId = m_parts.state.sessionId;
    facts.collaborating = m_parts.state.collaborationFlag != 0;
    const char* banner = reinterpret_cast<const char*>(&m_parts.state.minit[InitRecordLayout::kBanner]);
    facts.sharedSession = strncmp(banner, "Joint Desk ", 11) == 0;
    {
        // The server's label in pop-up titles: the banner's last word.
        std::string text(banner, strnlen(banner, InitRecordLayout::kBannerSize));
        text.erase(text.find_last_not_of(' ') + 1);
        facts.serverLabel = text.substr(text.find_last_of(' ') + 1);
    }
    facts.disconnectDisabled = m_parts.state.settings.disableDiscButton != 0;
    facts.projectId = m_parts.state.settings.projectID;
    facts.serverVersionNumber = m_parts.state.serverVersion;
    facts.serverVersion = m_parts.state.protocolVersion < 200 ? "3.xx" : VersionText(m_parts.state.serverVersion);
    facts.clientVersion = kVersionText;
    facts.titleText = m_parts.state.Caption();
    const FrameGeometry geometry = m_parts.frameBuffer.Geometry();
    facts.width = geometry.width;
    facts.height = geometry.sessionHeight;
    facts.depth = geometry.depth;
    facts.fullScreenSession = m_parts.state.settings.useFullScreenMode != 0;
    facts.seamless = m_parts.state.settings.useSeamlessWindowingMode != 0;
    facts.monitors = m_parts.state.settings.monitors;
    facts.keyMapAvailable = m_parts.state.keyMap.UseKeyMap();
    facts.grabKeyboard = m_parts.state.settings.grabKeyboard != 0;
    facts.connectedAt = m_parts.state.connectedAt;
    facts.configDirectory = m_parts.state.settings.configDirectory;
    facts.installPath = m_parts.state.settings.installPath;
    facts.debugDrawingRect = m_parts.state.settings.debugDrawingRect;
    facts.clipboardExchange = m_parts.clipboard != nullptr && m_parts.clipboard->Allowed();
    facts.clipboardPrimary = m_parts.state.settings.clipboardPrimary != 0;
    auto settings = std::make_shared<const ClientSettings>(m_parts.state.settings);
    std::lock_guard lock(m_mutex);
    m_facts = std::move(facts);
    m_settings = std::move(settings);
}

SessionFacts WindowCommands::Facts() const {
    std::lock_guard lock(m_mutex);
    return m_facts;
}

RateSummary WindowCommands::Throughput(bool reset) { return m_parts.channel.Rates().Read(reset); }

int64_t WindowCommands::ServerTime() const { return m_parts.display.ServerTime(); }

void WindowCommands::ExitSession() {
    DebugPrint(1, "In ExitCB\n");
    (void)m_parts.control.Send(kSessionControlExit);
    EndAfterRequest(true);
}

void WindowCommands::DisconnectSession() {
    DebugPrint(1, "In DisconnectCB\n");
    (void)m_parts.control.Send(kSessionControlDisconnect);
    EndAfterRequest(false);
}

void WindowCommands::EndAfterRequest(bool exitRequest) {
    // The window goes on answering while the server acts on the request.
    std::lock_guard lock(m_mutex);
    if (m_requestThread.joinable()) return;
    m_requestThread = std::thread([this, exitRequest] {
        if (!m_parts.quit.SleepUnlessQuitting(static_cast<int>(kSessionControlGrace.count()))) return;
        if (exitRequest && m_parts.state.flags.delayedExit.load()) {
            // The server closes the session itself once its programs have ended.
            m_parts.state.flags.localMode.store(false);
            return;
        }
        m_shutDown();
    });
}

void WindowCommands::SetDecoderThreadLimit(int limit) {
    m_parts.display.SetThreadLimit(limit);
}

bool WindowCommands::ToggleKeyMapMode() {
    m_parts.state.keyMap.SetUseKeyMap(!m_parts.state.keyMap.UseKeyMap());
    return m_parts.state.keyMap.UseKeyMap();
}

bool WindowCommands::SaveConnectionFile(const std::string& path, bool fullScreenShown) {
    std::shared_ptr<const ClientSettings> settings;
    {
        std::lock_guard lock(m_mutex);
        settings = m_settings;
    }
    if (!settings) return false;
    SaveState state;
    state.fullScreenSession = settings->useFullScreenMode != 0;
    state.windowFullScreen = fullScreenShown;
    return WriteConnectionFile(path, *settings, state) == 0;
}

}  // namespace corvane
