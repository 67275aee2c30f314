// CDisplayClientApp: the application object. It owns the parts of a client process (the
// session state, the connection, the frame buffer and the capabilities that handle the
// server's messages) and wires them: start-up, login, the session's threads, shut-down.
//
// Threads: Run() is the session thread (settings, login, then it waits for the windows to
// end); the ProcessMessages thread (ReceiveLoop) reads every server message and hands it to
// the router; the sender thread writes every message the client sends once the session runs;
// a timer thread ends the session after --exit-after seconds. The shared flags are atomics
// (SessionState); the windows read the facts the window commands publish.
#pragma once

#include <optional>
#include <string>
#include <thread>

#include "clipboard/clipboard_exchange.h"
#include "clipboard/clipboard_messages.h"
#include "config/status_mailbox.h"
#include "display/display_events.h"
#include "display/display_messages.h"
#include "display/frame_buffer.h"
#include "input/pointer_messages.h"
#include "protocol/message_channel.h"
#include "protocol/message_router.h"
#include "protocol/message_sender.h"
#include "protocol/stream_connection.h"
#include "config/log.h"
#include "seamless/window_messages.h"
#include "session/hot_keys.h"
#include "seamless/window_requests.h"
#include "session/login_sequence.h"
#include "session/monitor_layout.h"
#include "session/quit_signal.h"
#include "session/receive_loop.h"
#include "session/session_control.h"
#include "session/session_options.h"
#include "session/session_ports.h"
#include "session/session_state.h"
#include "session/window_commands.h"

namespace corvane {

class CDisplayClientApp : public DisplayEvents {
public:
    CDisplayClientApp(SessionPorts ports, SessionOptions options);
    ~CDisplayClientApp() override;
    CDisplayClientApp(const CDisplayClientApp&) = delete;
    CDisplayClientApp& operator=(const CDisplayClientApp&) = delete;

    // The whole life of the client: settings, login, session. Returns the exit code.
    [[nodiscard]] int Run(const std::string& commandLinePath);

    // The shut-down routine: every way a running session ends comes through here. Any thread.
    void ShutDown();

    [[nodiscard]] StatusMailbox& Mailbox() { return m_mailbox; }

    // DisplayEvents.
    void FrameDrawn() override;
    void Beep(int frequencyHz, int milliseconds) override;
    void SetTitle(const std::string& title) override;
    [[nodiscard]] std::string BaseTitle() const override { return m_state.Caption(); }
    [[nodiscard]] bool LocalMode() const override { return m_state.flags.localMode.load(); }
    void CursorShape(const CursorImage& image) override;

private:
    // Start-up: the site settings, the connection file or stand-alone mode, the key map.
    // Nothing to go on; otherwise the exit code to end with (the user left a login dialog, or
    // the connection went to the remote-desktop client).
    [[nodiscard]] std::optional<int> ReadSettings(const std::string& commandLinePath);
    // The Session Login dialog, and the environment definitions its properties ask for.
    // Nothing, or the exit code to end with.
    [[nodiscard]] std::optional<int> AskSessionLogin();
    // A full-screen session asks for the area of the chosen monitors.
    void SizeToMonitors(const MonitorModel& monitors);
    void StartExitTimer();
    // Ends the threads of the session (receive, sender, decoders, timer) and writes the
    // screenshot.
    void EndThreads();

    NoticePort& m_notices;
    DialogPort& m_dialogs;
    CursorPort& m_cursor;
    WindowPort& m_windows;
    PointerPort& m_pointerPort;
    HotKeyPort& m_hotKeyPort;
    ClipboardPort& m_clipboardPort;
    SeamlessPort& m_seamlessPort;
    const SessionOptions m_options;

    SessionState m_state;
    StatusMailbox m_mailbox;
    QuitSignal m_quit{m_state.flags.exit};

    StreamConnection m_stream;
    MessageChannel m_channel{m_stream};
    MessageSender m_sender{m_channel};
    FrameBuffer m_frameBuffer;
    MessageRouter m_router;
    DisplayMessages m_display{m_frameBuffer, *this};
    ClipboardMessages m_clipboard{m_clipboardPort};
    PointerMessages m_pointer{m_pointerPort, m_state.flags.remotePointer};
    WindowMessages m_windowRequests;
    WindowRequests m_windowHandler{m_seamlessPort, [this](const uint8_t* record, size_t size) {
                                       DebugPrint(10, "Sending Message type %d (WIND) to %d\n",
                                                  ZRPPROTOCOL_MH_MESSWIND, m_sender.Socket());
                                       return m_sender.Post(ZRPPROTOCOL_MH_MESSWIND, record, size);
                                   }};

    LoginSequence m_login{m_state, m_stream, m_channel, m_mailbox, m_notices, m_dialogs};
    SessionControl m_control{m_state, m_sender, m_display, m_mailbox, m_notices, [this] { ShutDown(); }};
    HotKeys m_hotKeys{m_state, m_frameBuffer, m_hotKeyPort,
                      [this](int32_t code, int32_t argument) { return m_control.Send(code, argument); }};
    InputCommands m_input{m_state, m_sender, m_hotKeys};
    // Only where the server exchanges the clipboard and the session is the user's own.
    ClipboardExchange m_clipboardExchange{
        m_sender, [this] { return m_state.flags.clipboardSync.load() && m_state.collaborationFlag == 0; }};
    WindowCommands m_commands{{m_state, m_channel, m_display, m_frameBuffer, m_control, m_input, m_quit,
                                &m_clipboardExchange},
                              [this] { ShutDown(); }};
    ReceiveLoop m_receive{{m_state, m_stream, m_channel, m_router, m_display, m_sender, m_control, m_login,
                           m_notices, m_quit},
                          [this] { ShutDown(); },
                          [this] { m_commands.Publish(); }};

    std::atomic<long long> m_framesDrawn{0};
    // Set once the login has attached a session; until then ending the client closes the
    // login's connection, which a silent server would otherwise hold on a read.
    std::atomic<bool> m_loggedIn{false};
    std::thread m_receiveThread;
    std::thread m_timerThread;
};

}  // namespace corvane
