#include "session/display_client_app.h"

#include <chrono>

#include "config/connection_file.h"
#include "config/log.h"
#include "config/site_settings.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/registry.h"

namespace corvane {

namespace {
}

CDisplayClientApp::CDisplayClientApp(UiHost& host, SessionOptions options)
    : m_host(host), m_options(std::move(options)) {
    m_channel.SetJpegDecoder(&JpegImageDecoder::DecodeFrame, &m_jpegDecoder);
}

CDisplayClientApp::~CDisplayClientApp() {
    m_exitFlag.store(true);
    CloseSocket();
    {
        std::lock_guard lock(m_timerMutex);
        m_timerStop.notify_all();
    }
    if (m_receiveThread.joinable()) m_receiveThread.join();
    // Drawing-request frames still decoding write the frame buffer and report to this object.
    m_dispatcher.FinishDrawing();
    if (m_timerThread.joinable()) m_timerThread.join();
}

void CDisplayClientApp::ReadSettings(const std::string& path) {
    platform::Registry registry = platform::Registry::Load();
    m_env.Clear();
    m_siteDefaults = LoadSiteSettings(m_settings, m_mailbox, registry, m_env) != 0;
    if (m_siteDefaults) ApplyNoSiteDefaults(m_settings);

    DebugPrint(61, "Start \"Corvane\"  %s  PID is %d\n", kVersionText, platform::CurrentProcessId());

    const MonitorModel monitors = m_host.Monitors();
    if (platform::IsRegularFile(path)) {
        DebugPrint(1, "Reading .zrp file from command line: %s\n", path.c_str());
        if (ReadConnectionFile(path, m_settings, m_mailbox, monitors.count) != 0) {
            m_host.PauseForUser(250);
        }
        if (m_settings.useSeamlessWindowingMode != 0 || m_settings.useFullScreenMode != 0 ||
            m_settings.displayWidth < 0 || m_settings.displayHeight < 0) {
            SizeToMonitors(monitors);
        }
        m_env.ReadDefinitions(path);
        if (m_settings.forceLoginDialog) (void)m_host.SessionLoginDialog(m_settings);
    } else {
        DebugPrint(1, "Error reading .zrp file from command line\n");
        if (m_siteDefaults) m_host.PauseForUser(1500);
        m_mailbox.Post(kStatusError, "Stand alone mode.  Default values\r\nwill be used for this session.",
                       true);
        m_host.PauseForUser(1500);
        if (m_settings.projectIDDialog != 0) (void)m_host.ProjectIdentificationDialog(m_settings);
        (void)m_host.SessionLoginDialog(m_settings);
        m_host.PauseForUser(250);
        m_mailbox.Post(kStatusClearError, "");
    }
    m_channel.SetServerCode(m_settings.serverCode);

    if (m_settings.keyMapFileEnabled) {
        (void)m_keyMap.ReadKeyMapFile(m_settings.keyMapFile);
    } else if (m_settings.keyMapNumber > 0) {
        (void)m_keyMap.LoadInternalKeyMap(m_settings.keyMapNumber);
    }
}

void CDisplayClientApp::SizeToMonitors(const MonitorModel& monitors) {
    m_settings.useFullScreenMode = 1;
    FullScreenArea area;
    if (CheckMonitorSelection(monitors, m_settings.monitors, area) != kMonitorsValid) {
        // The file's choice cannot be shown: the first monitor alone can.
        m_settings.monitors = {1, 0, 0, 0};
        (void)CheckMonitorSelection(monitors, m_settings.monitors, area);
    }
    m_settings.displayWidth = area.width;
    m_settings.displayHeight = area.height;
    DebugPrint(1, "Full-screen session: %dx%d at x=%d\n", area.width, area.height, area.x);
}

int CDisplayClientApp::Run(const std::string& commandLinePath) {
    // The progress and statistics windows live on the user-interface thread; their records
    // stand where their threads used to start and end.
    DebugPrint(1, "Start Splash Thread\n");
    ReadSettings(commandLinePath);
    m_host.SettingsRead(m_settings);
    if (m_settings.remoteDesktopMode) {
        DebugPrint(1, "The connection file asks for a remote-desktop session; not supported here yet.\n");
        return kExitNormal;
    }

    bool attached = false;
    int code = Login(attached);
    if (!attached) return code;

    int width = LoadField<uint16_t>(m_minit.data(), InitRecordLayout::kWidth);
    int height = LoadField<uint16_t>(m_minit.data(), InitRecordLayout::kHeight);
    int depth = m_minit[InitRecordLayout::kDepth];
    if (!m_frameBuffer.CreateWorkBitmap(width, height, depth, true)) {
        return ErrorRoutine("Error:  Unable to create the screen of this session.");
    }
    m_connectedAt = std::time(nullptr);
    m_host.SessionStarted(m_frameBuffer, *this);
    DebugPrint(1, "Start SessionStat Thread\n");
    m_host.ShowProgress(false);
    m_dispatcher.SetProtocolVersion(m_protocolVersion);
    m_dispatcher.SetServerVersion(m_serverVersion);
    m_receiveThread = std::thread([this] { ProcessMessagesThread(); });
    // This client never opens a datagram channel.
    DebugPrint(1, "Start Process UDP Messages Thread\n");
    DebugPrint(1, "UDP not supported by server or firewall - Process UDP Messages Thread closing\n");
    StartExitTimer();

    int exitCode = m_host.EventLoop();
    DebugPrint(1, "SessionStat Thread closing\n");
    DebugPrint(1, "Splash Thread closing\n");
    m_exitFlag.store(true);
    DebugPrint(1, "Main Thread exiting\n");
    CloseSocket();
    {
        std::lock_guard lock(m_timerMutex);
        m_timerStop.notify_all();
    }
    if (m_receiveThread.joinable()) m_receiveThread.join();
    // Drawing-request frames still decoding write the frame buffer and report to this object.
    m_dispatcher.FinishDrawing();
    if (m_timerThread.joinable()) m_timerThread.join();

    if (!m_options.screenshotPath.empty()) {
        std::vector<uint8_t> rgb = m_frameBuffer.ShownRgb();
        if (!WritePng(m_options.screenshotPath, rgb.data(), m_frameBuffer.Width(),
                      m_frameBuffer.SessionHeight())) {
            DebugPrint(0, "ERROR: Unable to write the screenshot %s\n", m_options.screenshotPath.c_str());
        }
    }
    return exitCode;
}

void CDisplayClientApp::ShutDown() {
    DebugPrint(1, "Set exit_flag\n");
    m_shuttingDown.store(true);
    m_exitFlag.store(true);
    m_host.Quit(kExitNormal);
}

void CDisplayClientApp::StartExitTimer() {
    if (m_options.exitAfterSeconds <= 0) return;
    m_timerThread = std::thread([this] {
        auto deadline = std::chrono::steady_clock::now() +
                        std::chrono::duration<double>(m_options.exitAfterSeconds);
        std::unique_lock lock(m_timerMutex);
        if (!m_timerStop.wait_until(lock, deadline, [this] { return m_exitFlag.load(); })) {
            lock.unlock();
            DebugPrint(1, "Ending the session after %.1f seconds\n", m_options.exitAfterSeconds);
            ShutDown();
        }
    });
}

void CDisplayClientApp::CloseSocket() {
    int socket = m_channel.Socket();
    if (socket < 0) return;
    m_channel.SetSocket(-1);
    (void)m_stream.Close(socket);
}

void CDisplayClientApp::RepaintRect(int x, int y, int width, int height) {
    m_host.RepaintRect(x, y, width, height);
}

void CDisplayClientApp::RepaintAll() {
    m_host.RepaintRect(0, 0, m_frameBuffer.Width(), m_frameBuffer.SessionHeight());
}

void CDisplayClientApp::FrameDrawn() {
    long long drawn = ++m_framesDrawn;
    if (m_options.exitAfterFrames > 0 && drawn == m_options.exitAfterFrames) {
        DebugPrint(1, "Ending the session after %lld frames\n", drawn);
        ShutDown();
    }
}

void CDisplayClientApp::Beep(int frequencyHz, int milliseconds) { m_host.Beep(frequencyHz, milliseconds); }

void CDisplayClientApp::SetTitle(const std::string& title) { m_host.SetTitle(title); }

std::string CDisplayClientApp::BaseTitle() const {
    std::lock_guard lock(m_captionMutex);
    return m_caption;
}

}  // namespace corvane
