// The windowed client's ports: the Qt event loop runs on the main (GUI) thread; the start-up
// and login run on a session thread that asks the GUI thread for each dialog and waits on the
// answer's future; the frame buffer's damage signal hands changed areas to the windows at
// most once per screen refresh, so a burst of updates costs one paint, never a queue that
// grows. Nothing here ever blocks one thread on another's event loop.
#pragma once

#include <QDialog>
#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QRegion>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>
#include <string>

#include "config/status_mailbox.h"
#include "session/login_form_rules.h"
#include "session/session_ports.h"
#include "ui/clipboard_bridge.h"
#include "ui/main_window.h"
#include "ui/progress_window.h"
#include "ui/seamless_windows.h"
#include "ui/statistics_window.h"

namespace corvane {

class QtHost : public QObject,
               public NoticePort,
               public DialogPort,
               public CursorPort,
               public WindowPort,
               public PointerPort,
               public HotKeyPort,
               public ClipboardPort,
               public SeamlessPort {
    Q_OBJECT

public:
    // Built on the GUI thread once the QApplication exists.
    QtHost();
    ~QtHost() override;

    [[nodiscard]] SessionPorts Ports() {
        return SessionPorts{*this, *this, *this, *this, *this, *this, *this, *this};
    }

    // The application object's status mailbox and shut-down routine (the progress window's
    // Exit calls it). Set before the session thread starts.
    void Attach(StatusMailbox& mailbox, std::function<void()> shutDown);

    // Called on the GUI thread when the session thread has returned: closes every window.
    void SessionThreadEnded();

    // NoticePort: any thread.
    void SetTitle(const std::string& title) override;
    void Bell(int frequencyHz, int milliseconds) override;
    void ErrorBeep() override;
    void ShowProgress(bool shown) override;
    void ShowFatalError() override;
    void ShowSessionEndNotice(const std::string& title, const std::string& line) override;
    void ShowReconnecting(bool reconnecting) override;
    void Minimise() override;
    void PauseForUser(int milliseconds) override;

    // DialogPort: asked from the session thread, answered on the GUI thread.
    [[nodiscard]] std::future<LoginForm> SessionLoginDialog(LoginForm form) override;
    [[nodiscard]] std::future<LoginForm> EnterPasswordDialog(LoginForm form) override;
    [[nodiscard]] std::future<LoginForm> ProjectIdentificationDialog(LoginForm form) override;
    [[nodiscard]] std::future<int> SessionControlDialog(SessionTable sessions) override;
    [[nodiscard]] std::future<MonitorModel> Monitors() override;

    // CursorPort.
    void SetRemoteCursor(const CursorImage& image, int reverseCursorColor) override;

    // PointerPort.
    void MovePointer(int frameX, int frameY) override;

    // HotKeyPort: GUI thread, inside a key event.
    void ShowHotKeyTitle(const std::string& title, bool flash, const std::string& titleAfter) override;
    void OpenExitDialog() override;
    void OpenFunctionDialog(bool collaborator) override;
    void ShowStatistics() override;
    void ToggleKeyboardGrab() override;
    void SetCursorColouring(int reverseCursorColor) override;
    // ClipboardPort.
    void PutServerText(std::string text) override;
    void PutServerMetafile(std::vector<uint8_t> bits) override;
    // SeamlessPort: posted to the pop-ups on the GUI thread.
    void CreatePopup(const SeamlessWindow& window) override;
    void RetakePopup(const SeamlessWindow& window) override;
    void MovePopup(uint32_t handle, int32_t x, int32_t y, int32_t width, int32_t height, bool freeze) override;
    void ShowPopup(uint32_t handle, PopupShow how) override;
    void DestroyPopup(uint32_t handle) override;

    // WindowPort.
    void SettingsRead(const ClientSettings& settings) override;
    void SessionStarted(FrameBuffer& frameBuffer, SessionCommands& commands) override;
    [[nodiscard]] int EventLoop() override;
    void Quit(int exitCode) override;

    // For tests and measurements (GUI thread).
    [[nodiscard]] MainWindow* Window() const { return m_window; }
    [[nodiscard]] ClipboardBridge* Clipboard() const { return m_clipboard; }
    [[nodiscard]] SeamlessWindows* Popups() const { return m_seamless; }
    [[nodiscard]] long DamageSignals() const { return m_damageSignals.load(); }
    [[nodiscard]] long BeepsSounded() const { return m_beeps.load(); }

protected:
    // Alt+Enter toggles full screen wherever the focus is in the main window.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Runs `work` on the GUI thread: at once when already there, else posted.
    void OnGui(std::function<void()> work);
    void PostToGui(std::function<void()> work);
    void FlushRepaints();
    void ShowTitle();
    void ShowBox(const QString& caption, const QString& text, std::shared_ptr<std::promise<void>> answered);
    // Opens a login dialog that `make` builds on the GUI thread (with the answer's form
    // read from it once it has finished) and answers with its form.
    template <typename Dialog, typename Make>
    [[nodiscard]] std::future<LoginForm> AskLogin(Make make);
    [[nodiscard]] std::chrono::steady_clock::duration RefreshInterval() const;

    StatusMailbox* m_mailbox = nullptr;
    std::function<void()> m_shutDown;
    FrameBuffer* m_frameBuffer = nullptr;  // set once, before the receive thread starts

    // GUI thread only.
    QPointer<MainWindow> m_window;
    QPointer<ClipboardBridge> m_clipboard;
    QPointer<SeamlessWindows> m_seamless;
    QPointer<ProgressWindow> m_progress;
    QPointer<StatisticsWindow> m_statistics;
    QPointer<QMessageBox> m_postedBox;
    QPointer<QDialog> m_loginDialog;  // the login dialog open now
    LoginMemory m_loginMemory;        // what the login dialogs keep between showings
    QString m_title;  // the session's title, kept for a window that opens later
    bool m_reconnecting = false;
    bool m_swallowAltEnterRelease = false;
    std::optional<CursorImage> m_remoteCursor;  // the server's last cursor, for a new colouring
    std::chrono::steady_clock::time_point m_lastFlush;
    bool m_flushTimerActive = false;
    std::vector<DamageRect> m_damage;  // reused by every flush
    std::chrono::steady_clock::time_point m_firstWaiting;  // the oldest damage not yet handed over
    std::chrono::steady_clock::duration m_longestWait{};

    std::atomic<long> m_damageSignals{0};
    std::atomic<long> m_beeps{0};
    std::atomic<int64_t> m_signalledAt{0};  // steady-clock ticks of the damage signal waiting

    std::mutex m_quitMutex;
    std::condition_variable m_quitSignal;
    std::optional<int> m_exitCode;
};

}  // namespace corvane
