// CDisplayClientApp: the application object. It owns the settings, the connection, the
// message buffers, the frame buffer and the threads of a client process, and runs the
// start-up, the login, the receive loop and the shut-down.
//
// Threads: Run() is the session thread (settings, login, then it waits for the windows to
// end); the ProcessMessages thread reads every server message and hands it to the router; the
// sender thread writes every message the client sends once the session runs; a timer thread
// ends the session after --exit-after seconds. The shared flags are atomics. The settings are
// written by one thread at a time (the session thread until the receive thread starts, then
// the receive thread's reconnection); the windows read the published facts, a snapshot
// replaced whole under a lock.
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <ctime>
#include <future>
#include <memory>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "config/client_settings.h"
#include "config/env_block.h"
#include "config/status_mailbox.h"
#include "clipboard/clipboard_messages.h"
#include "display/display_events.h"
#include "display/display_messages.h"
#include "display/frame_buffer.h"
#include "input/key_map.h"
#include "input/pointer_messages.h"
#include "protocol/info_block.h"
#include "protocol/message_channel.h"
#include "protocol/message_router.h"
#include "protocol/message_sender.h"
#include "protocol/records.h"
#include "protocol/stream_connection.h"
#include "seamless/window_messages.h"
#include "session/failure_report.h"
#include "session/monitor_layout.h"
#include "session/session_commands.h"
#include "session/session_options.h"
#include "session/session_ports.h"
#include "session/session_table.h"

namespace corvane {

// The client's version as its windows and log show it.
inline constexpr const char* kVersionText = "Version: 9.0.0.0";

// Exit codes of the process.
inline constexpr int kExitNormal = 0;
inline constexpr int kExitError = -1;

// cnctConnect's failure codes.
enum ConnectResult : int {
    kConnectNoConnection = -1,
    kConnectInfoFailed = -1010,
    kConnectOtherStatus = -1999,
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

class CDisplayClientApp : public DisplayEvents, public SessionCommands {
public:
    CDisplayClientApp(SessionPorts ports, SessionOptions options);
    ~CDisplayClientApp() override;
    CDisplayClientApp(const CDisplayClientApp&) = delete;
    CDisplayClientApp& operator=(const CDisplayClientApp&) = delete;

    // The whole life of the client: settings, login, session. Returns the exit code.
    [[nodiscard]] int Run(const std::string& commandLinePath);

    // The shut-down routine: every way a running session ends comes through here. Any thread.
    void ShutDown() override;

    [[nodiscard]] const ClientSettings& Settings() const { return m_settings; }
    [[nodiscard]] StatusMailbox& Mailbox() { return m_mailbox; }

    // DisplayEvents.
    void FrameDrawn() override;
    void Beep(int frequencyHz, int milliseconds) override;
    void SetTitle(const std::string& title) override;
    [[nodiscard]] std::string BaseTitle() const override;
    [[nodiscard]] bool LocalMode() const override { return m_localMode.load(); }
    void CursorShape(const CursorImage& image) override;

    // SessionCommands: the windows' view of the running session (user-interface thread).
    [[nodiscard]] SessionFacts Facts() const override;
    [[nodiscard]] RateSummary Throughput(bool reset) override;
    [[nodiscard]] int64_t ServerTime() const override;
    [[nodiscard]] bool TakeInputSent() override { return m_inputSent.exchange(false); }
    [[nodiscard]] bool TakeMessageReceived() override { return m_messageReceived.exchange(false); }
    void ExitSession() override;
    void DisconnectSession() override;
    void SetDecoderThreadLimit(int limit) override;
    bool ToggleKeyMapMode() override;
    [[nodiscard]] bool SaveConnectionFile(const std::string& path, bool fullScreenShown) override;

    // Queues a session-control record with this code and first argument for the sender.
    bool SendSessionControl(int32_t code, int32_t firstArgument = 0);

private:
    // Start-up.
    void ReadSettings(const std::string& commandLinePath);
    // A full-screen session asks for the area of the chosen monitors.
    void SizeToMonitors(const MonitorModel& monitors);
    // Login: 0 when attached to a session; otherwise the exit code to end with.
    [[nodiscard]] int Login(bool& attached);
    [[nodiscard]] int cnctConnect(ConnectRequest& request, bool afterRedirect);
    [[nodiscard]] int ConnectTry(const ConnectRequest& request, bool redirected);
    [[nodiscard]] int ReadSessionList(bool& attached);
    [[nodiscard]] int FinishLogin(bool& attached);
    void ShowLoginFailure(int code);
    [[nodiscard]] int ErrorRoutine(const std::string& text, bool wait = true);
    void Fail(FailureKind kind, const std::string& text, int logLevel = 0, const std::string& logText = {});
    // Asks for a login dialog and takes what the user entered; false when cancelled or the
    // client is quitting.
    bool AskLoginDialog(std::future<LoginForm> (DialogPort::*dialog)(LoginForm));
    // Publishes the facts the windows read (after the login and after a reconnection).
    void PublishFacts();
    // The steps every login ends with, the first and a reconnection alike.
    enum class LoginKind { First, Reconnection };
    // The final information block, the TLS restart on the bare socket and the final status
    // (0: accepted; then the versions are taken). kConnectInfoFailed when the block could not
    // be read.
    [[nodiscard]] int FinalBlock(int socket, LoginKind kind);
    // The init exchange: the bandwidth class into m_minit, the init message out, the server's
    // reply into m_minit (the size asked for is kept for the log). 0, or -1 when the stream
    // failed.
    [[nodiscard]] int InitExchange(LoginKind kind);
    void SetVersions(const InfoBlock& block);
    void LogInitReply(int requestedWidth, int requestedHeight);
    void WriteRequestIntoInit();
    void BuildCaption();

    // The session.
    void ProcessMessagesThread();
    [[nodiscard]] int ProcessMessages();
    [[nodiscard]] int Reconnect();
    void SessionControl(const uint8_t* record);
    // Ends the client once the server has had time to act on the exit dialog's request.
    void EndAfterRequest(bool exitRequest);
    void RegisterHandlers();
    void StartExitTimer();
    // Sleeps, but wakes when the client is quitting; false then.
    bool SleepUnlessQuitting(int milliseconds);
    // Ends the threads of the session (receive, sender, decoders, timer) and writes the
    // screenshot.
    void EndThreads();
    void CloseSocket();

    NoticePort& m_notices;
    DialogPort& m_dialogs;
    CursorPort& m_cursor;
    WindowPort& m_windows;
    const SessionOptions m_options;

    ClientSettings m_settings;
    StatusMailbox m_mailbox;
    EnvBlock m_env;
    KeyMap m_keyMap;
    bool m_siteDefaults = false;

    StreamConnection m_stream;
    MessageChannel m_channel{m_stream};
    MessageSender m_sender{m_channel};
    FrameBuffer m_frameBuffer;
    MessageRouter m_router;
    DisplayMessages m_display{m_frameBuffer, *this};
    ClipboardMessages m_clipboard;
    PointerMessages m_pointer;
    WindowMessages m_windowRequests;

    std::array<uint8_t, kInitRecordSize> m_minit{};  // host order
    InfoBlock m_info;
    SessionTable m_sessions;
    int32_t m_iSessionID = 0;
    int32_t m_collaborationFlag = 0;
    int m_protocolVersion = 100;
    int m_serverVersion = 300;
    int m_connectAttempts = 0;  // the redirect counter of one cnctConnect call
    int m_requestedWidth = 0;   // what the last init exchange asked for
    int m_requestedHeight = 0;
    std::string m_caption;
    mutable std::mutex m_captionMutex;

    std::atomic<bool> m_exitFlag{false};
    std::atomic<bool> m_shuttingDown{false};
    std::atomic<bool> m_paused{false};
    std::atomic<bool> m_autoReconnect{false};
    std::atomic<bool> m_delayedExit{false};
    std::atomic<bool> m_localMode{false};
    std::atomic<bool> m_clipboardSync{true};
    std::atomic<long long> m_framesDrawn{0};
    std::atomic<bool> m_inputSent{false};
    std::atomic<bool> m_messageReceived{false};
    std::time_t m_connectedAt = 0;  // written before the session's windows exist

    mutable std::mutex m_factsMutex;
    SessionFacts m_facts;                                      // under m_factsMutex
    std::shared_ptr<const ClientSettings> m_publishedSettings;  // under m_factsMutex

    std::thread m_receiveThread;
    std::thread m_timerThread;
    std::thread m_requestThread;  // the exit dialog's request: waits for the server, then ends
    std::mutex m_timerMutex;
    std::condition_variable m_timerStop;  // wakes the timers and sleeps when the client quits
};

}  // namespace corvane
