#include "session/display_client_app.h"

#include <chrono>
#include <cstdlib>

#include "config/connection_file.h"
#include "config/error_box.h"
#include "config/generated_definitions.h"
#include "config/log.h"
#include "config/site_settings.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "session/remote_desktop.h"
#include "platform/user_locale.h"

namespace corvane {

namespace {

// How long the threads of a session may take to end once the user has ended the client; a
// thread still blocked then (a connection attempt that nobody answers) does not keep the
// process alive.
constexpr auto kEndGrace = std::chrono::seconds(3);

}  // namespace

CDisplayClientApp::CDisplayClientApp(SessionPorts ports, SessionOptions options)
    : m_notices(ports.notices),
      m_dialogs(ports.dialogs),
      m_cursor(ports.cursor),
      m_windows(ports.windows),
      m_pointerPort(ports.pointer),
      m_hotKeyPort(ports.hotKeys),
      m_clipboardPort(ports.clipboard),
      m_seamlessPort(ports.seamless),
      m_options(std::move(options)) {
    // Each capability registers the messages it handles.
    m_display.Register(m_router);
    m_clipboard.Register(m_router);
    m_pointer.Register(m_router);
    m_windowRequests.SetRequests(&m_windowHandler);
    m_windowRequests.Register(m_router);
    m_commands.AttachSeamless(&m_windowHandler);
    m_control.Register(m_router);
}

CDisplayClientApp::~CDisplayClientApp() {
    m_state.flags.exit.store(true);
    EndThreads();
}

std::optional<int> CDisplayClientApp::ReadSettings(const std::string& path) {
    platform::Registry registry = platform::Registry::Load();
    ClientSettings& settings = m_state.settings;
    m_state.env.Clear();
    m_state.siteDefaults = LoadSiteSettings(settings, m_mailbox, registry, m_state.env) != 0;
    if (m_state.siteDefaults) ApplyNoSiteDefaults(settings);

    // The progress window lives on the user-interface thread; its record stands where its
    // thread used to start, once the log is open.
    DebugPrint(1, "Start Splash Thread\n");
    std::future<MonitorModel> monitorsAnswer = m_dialogs.Monitors();
    const MonitorModel monitors = AwaitAnswer(monitorsAnswer, m_state.flags.exit).value_or(MonitorModel{1, 1024, 768});
    DebugPrint(61, "Start \"Corvane\"  %s  PID is %d\n", kVersionText, platform::CurrentProcessId());
    if (platform::UserSublanguage() == 1) DebugPrint(1, "Primary sublanguage is ENGLISH.\n");
    DebugPrint(1, "---  %s\n", platform::CurrentCLocaleName().c_str());
    DebugPrint(1, "Desktop colors = %d\n", monitors.colourDepth);
    if (platform::IsRegularFile(path)) {
        DebugPrint(1, "Reading .zrp file from command line: %s\n", path.c_str());
        if (ReadConnectionFile(path, m_state.settings, m_mailbox, monitors.count) != 0) {
            m_notices.PauseForUser(250);
        }
        if (settings.remoteDesktopMode) {
            (void)ConnectByRemoteDesktop(settings);
            m_notices.ShowProgress(false);
            return kExitNormal;
        }
        if (settings.useSeamlessWindowingMode != 0 || settings.useFullScreenMode != 0 ||
            settings.displayWidth < 0 || settings.displayHeight < 0) {
            SizeToMonitors(monitors);
        }
        m_state.env.ReadDefinitions(path);
        if (settings.forceLoginDialog) {
            if (auto code = AskSessionLogin()) return code;
        }
    } else {
        DebugPrint(1, "Error reading .zrp file from command line\n");
        if (m_state.siteDefaults) m_notices.PauseForUser(1500);
        m_mailbox.Post(kStatusError, "Stand alone mode.  Default values\r\nwill be used for this session.",
                       true);
        m_notices.PauseForUser(1500);
        if (settings.projectIDDialog != 0) {
            // Leaving it without OK keeps the project identifier the settings had.
            const int code = AskLoginDialog(m_dialogs, &DialogPort::ProjectIdentificationDialog, settings, m_state.flags.exit);
            if (code == kQuitting) return kExitNormal;
        }
        if (auto code = AskSessionLogin()) return code;
        m_notices.PauseForUser(250);
        m_mailbox.Post(kStatusClearError, "");
    }
    m_channel.SetServerCode(settings.serverCode);

    if (settings.keyMapFileEnabled) {
        (void)m_state.keyMap.ReadKeyMapFile(settings.keyMapFile);
    } else if (settings.keyMapNumber > 0) {
        (void)m_state.keyMap.LoadInternalKeyMap(settings.keyMapNumber);
    }
    return std::nullopt;
}

std::optional<int> CDisplayClientApp::AskSessionLogin() {
    const int code = AskLoginDialog(m_dialogs, &DialogPort::SessionLoginDialog, m_state.settings, m_state.flags.exit);
    if (code == kQuitting) return kExitNormal;
    if (code != 0) {
        DebugPrint(1, "Session Login dialog left; the client ends with %d\n", code);
        return code;
    }
    // The properties pages ask the server for a remote-desktop or XDMCP session through the
    // environment; a definition the block has no room for is logged and left out.
    for (const std::string& definition : LoginDialogDefinitions(m_state.settings)) {
        (void)m_state.env.AppendDefinition(definition);
    }
    return std::nullopt;
}

void CDisplayClientApp::SizeToMonitors(const MonitorModel& monitors) {
    m_state.settings.useFullScreenMode = 1;
    FullScreenArea area;
    if (CheckMonitorSelection(monitors, m_state.settings.monitors, area) != kMonitorsValid) {
        // The file's choice cannot be shown: the first monitor alone can.
        m_state.settings.monitors = {1, 0, 0, 0};
        (void)CheckMonitorSelection(monitors, m_state.settings.monitors, area);
    }
    m_state.settings.displayWidth = area.width;
    m_state.settings.displayHeight = area.height;
    DebugPrint(1, "Full-screen session: %dx%d at x=%d\n", area.width, area.height, area.x);
}

int CDisplayClientApp::Run(const std::string& commandLinePath) {
    // This thread runs the start-up and the login: the one that may wait for a person.
    SetThreadMayWaitForPerson(true);
    if (const std::optional<int> code = ReadSettings(commandLinePath)) return *code;
    m_state.flags.reverseCursorColor.store(m_state.settings.reverseCursorColor);
    m_windows.SettingsRead(m_state.settings);

    bool attached = false;
    int code = m_login.Login(attached);
    if (!attached) return code;
    m_loggedIn.store(true);

    int width = LoadField<uint16_t>(m_state.minit.data(), InitRecordLayout::kWidth);
    int height = LoadField<uint16_t>(m_state.minit.data(), InitRecordLayout::kHeight);
    int depth = m_state.minit[InitRecordLayout::kDepth];
    if (!m_frameBuffer.CreateWorkBitmap(width, height, depth, true)) {
        m_login.Fail(FailureKind::Fatal, "Error:  Unable to create the screen of this session.");
        return kExitError;
    }
    m_state.connectedAt = std::time(nullptr);
    m_commands.Publish();
    m_windows.SessionStarted(m_frameBuffer, m_commands);
    // The statistics and main windows run on the user-interface thread at the priority the
    // process started with; the records say so where their threads used to be started.
    DebugPrint(1, "Start SessionStat Thread\n");
    DebugPrint(1, "StatThreadEntry Priority %d\n", platform::CurrentThreadPriority());
    m_notices.ShowProgress(false);
    m_display.SetProtocolVersion(m_state.protocolVersion);
    m_display.SetServerVersion(m_state.serverVersion);
    m_windowRequests.SetSeamless(m_state.settings.useSeamlessWindowingMode != 0);
    m_router.SetFullScreenSession(m_state.settings.useFullScreenMode != 0);
    const auto charset = static_cast<ClipboardCharset>(m_state.settings.clipboardCharset);
    m_clipboard.SetCharset(charset);
    m_clipboardExchange.SetCharset(charset);
    DebugPrint(1, "Clipboard text travels in %s\n", CharsetName(charset));
    m_sender.Start();
    m_receiveThread = std::thread([this] { m_receive.Run(); });
    DebugPrint(1, "MainWin Priority %d\n", platform::CurrentThreadPriority());
    // This client never opens a datagram channel.
    DebugPrint(1, "ProcessUDPMsgThreadEntry Priority %d\n", platform::CurrentThreadPriority());
    DebugPrint(1, "Start Process UDP Messages Thread\n");
    DebugPrint(1, "UDP not supported by server or firewall - Process UDP Messages Thread closing\n");
    StartExitTimer();

    int exitCode = m_windows.EventLoop();
    DebugPrint(1, "SessionStat Thread closing\n");
    DebugPrint(1, "Splash Thread closing\n");
    m_state.flags.exit.store(true);
    DebugPrint(1, "Main Thread exiting\n");
    EndThreads();
    return exitCode;
}

void CDisplayClientApp::EndThreads() {
    // A thread that stays blocked past the grace (a connection attempt nobody answers) does
    // not keep the process alive: what the user asked for, the end, happens anyway.
    std::atomic<bool> ended{false};
    std::thread watchdog([this, &ended] {
        if (!m_quit.WaitUntil(std::chrono::steady_clock::now() + kEndGrace, [&ended] { return ended.load(); })) {
            DebugPrint(1, "The session's threads did not end; leaving without them\n");
            std::fflush(nullptr);
            std::_Exit(kExitNormal);
        }
    });
    m_channel.CloseSocket();
    m_quit.Notify();
    if (m_receiveThread.joinable()) m_receiveThread.join();
    m_sender.Stop();
    // Drawing-request frames still decoding write the frame buffer and report to this object.
    m_display.FinishDrawing();
    if (m_timerThread.joinable()) m_timerThread.join();
    m_commands.Join();
    ended.store(true);
    m_quit.Notify();
    watchdog.join();

    if (!m_options.screenshotPath.empty() && m_frameBuffer.Geometry().valid) {
        const std::string path = m_options.screenshotPath;
        std::vector<uint8_t> rgb = m_frameBuffer.ShownRgb();
        const FrameGeometry g = m_frameBuffer.Geometry();
        if (!WritePng(path, rgb.data(), g.width, g.sessionHeight)) {
            DebugPrint(0, "ERROR: Unable to write the screenshot %s\n", path.c_str());
        }
    }
}

void CDisplayClientApp::ShutDown() {
    DebugPrint(1, "Set exit_flag\n");
    m_state.flags.shuttingDown.store(true);
    m_state.flags.exit.store(true);
    // During the login nothing queued for the server can be lost; a socket the login opens
    // after this is closed as it is adopted.
    if (!m_loggedIn.load()) m_channel.CloseSocket();
    m_quit.Notify();
    m_windows.Quit(kExitNormal);
}

void CDisplayClientApp::StartExitTimer() {
    if (m_options.exitAfterSeconds <= 0) return;
    m_timerThread = std::thread([this] {
        const auto deadline = std::chrono::steady_clock::now() +
                              std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                  std::chrono::duration<double>(m_options.exitAfterSeconds));
        if (!m_quit.WaitUntil(deadline, [this] { return m_state.flags.exit.load(); })) {
            DebugPrint(1, "Ending the session after %.1f seconds\n", m_options.exitAfterSeconds);
            ShutDown();
        }
    });
}

void CDisplayClientApp::FrameDrawn() {
    long long drawn = ++m_framesDrawn;
    if (m_options.exitAfterFrames > 0 && drawn == m_options.exitAfterFrames) {
        DebugPrint(1, "Ending the session after %lld frames\n", drawn);
        ShutDown();
    }
}

void CDisplayClientApp::Beep(int frequencyHz, int milliseconds) { m_notices.Bell(frequencyHz, milliseconds); }

void CDisplayClientApp::SetTitle(const std::string& title) { m_notices.SetTitle(title); }

void CDisplayClientApp::CursorShape(const CursorImage& image) {
    // In local mode the pointer is the user's own.
    if (!m_state.flags.remotePointer.load()) return;
    m_cursor.SetRemoteCursor(image, m_state.flags.reverseCursorColor.load());
}

}  // namespace corvane
