// CDisplayClientApp: the one application object. It owns the settings, the connection, the
// message buffers, the frame buffer and the threads of a client process, and runs the
// start-up, the login, the receive loop and the shut-down.
//
// Threads: Run() is the start-up thread (settings, login, then the user-interface loop of
// the host); the ProcessMessages thread reads and dispatches every server message; a timer
// thread ends the session after --exit-after seconds. The shared flags are atomics; the
// settings are written only before the receive thread starts and by the receive thread's
// reconnection while the user-interface thread is paused.
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <ctime>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "config/client_settings.h"
#include "config/env_block.h"
#include "config/status_mailbox.h"
#include "display/display_events.h"
#include "display/frame_buffer.h"
#include "display/jpeg_image_decoder.h"
#include "display/message_dispatcher.h"
#include "input/key_map.h"
#include "protocol/info_block.h"
#include "protocol/message_channel.h"
#include "protocol/records.h"
#include "protocol/stream_connection.h"
#include "session/monitor_layout.h"
#include "session/session_commands.h"
#include "session/session_options.h"
#include "session/session_table.h"
#include "session/ui_host.h"

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
    CDisplayClientApp(UiHost& host, SessionOptions options);
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
    void RepaintRect(int x, int y, int width, int height) override;
    void RepaintAll() override;
    void FrameDrawn() override;
    void Beep(int frequencyHz, int milliseconds) override;
    void SetTitle(const std::string& title) override;
    [[nodiscard]] std::string BaseTitle() const override;
    void SessionControl(const uint8_t* record) override;
    [[nodiscard]] bool LocalMode() const override { return m_localMode.load(); }
    [[nodiscard]] bool SeamlessMode() const override { return m_settings.useSeamlessWindowingMode != 0; }
    [[nodiscard]] bool FullScreenSession() const override { return m_settings.useFullScreenMode != 0; }
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
    [[nodiscard]] bool SaveConnectionFile(const std::string& path) override;

    // Sends a session-control record with this code and first argument.
    int SendSessionControl(int32_t code, int32_t firstArgument = 0);

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
    void SetVersions(const InfoBlock& block);
    void LogInitReply(int requestedWidth, int requestedHeight);
    void WriteRequestIntoInit();
    void BuildCaption();

    // The session.
    void ProcessMessagesThread();
    [[nodiscard]] int ProcessMessages();
    [[nodiscard]] int Reconnect();
    void StartExitTimer();
    void CloseSocket();

    UiHost& m_host;
    const SessionOptions m_options;

    ClientSettings m_settings;
    StatusMailbox m_mailbox;
    EnvBlock m_env;
    KeyMap m_keyMap;
    bool m_siteDefaults = false;

    StreamConnection m_stream;
    JpegImageDecoder m_jpegDecoder;  // the channel's decoder of JPEG image frames
    MessageChannel m_channel{m_stream};
    FrameBuffer m_frameBuffer;
    MessageDispatcher m_dispatcher{m_channel, m_frameBuffer, *this};

    std::array<uint8_t, kInitRecordSize> m_minit{};  // host order
    InfoBlock m_info;
    SessionTable m_sessions;
    int32_t m_iSessionID = 0;
    int32_t m_collaborationFlag = 0;
    int m_protocolVersion = 100;
    int m_serverVersion = 300;
    int m_connectAttempts = 0;  // the redirect counter of one cnctConnect call
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

    std::thread m_receiveThread;
    std::thread m_timerThread;
    std::mutex m_timerMutex;
    std::condition_variable m_timerStop;
};

}  // namespace corvane
