// The windowed client's host: the Qt event loop runs on the main (GUI) thread; the start-up
// and login run on a session thread that asks the GUI thread for each dialog and waits for
// the answer; the receive and decoder threads ask for repaints, which are gathered so that a
// burst of updates costs one paint, never a queue that grows.
#pragma once

#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QRegion>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "config/status_mailbox.h"
#include "session/ui_host.h"
#include "ui/main_window.h"
#include "ui/progress_window.h"
#include "ui/statistics_window.h"

namespace corvane {

class QtHost : public QObject, public UiHost {
    Q_OBJECT

public:
    // Built on the GUI thread once the QApplication exists.
    QtHost();
    ~QtHost() override;

    // The application object's status mailbox and shut-down routine (the progress window's
    // Exit calls it). Set before the session thread starts.
    void Attach(StatusMailbox& mailbox, std::function<void()> shutDown);

    // Called on the GUI thread when the session thread has returned: closes every window.
    void SessionThreadEnded();

    // UiHost: callable from any thread.
    void RepaintRect(int x, int y, int width, int height) override;
    void SetTitle(const std::string& title) override;
    void Beep(int frequencyHz, int milliseconds) override;
    void MessageBox(const std::string& caption, const std::string& text) override;
    [[nodiscard]] bool SessionLoginDialog(ClientSettings& settings) override;
    [[nodiscard]] bool EnterPasswordDialog(ClientSettings& settings) override;
    [[nodiscard]] bool ProjectIdentificationDialog(ClientSettings& settings) override;
    [[nodiscard]] int SessionControlDialog(const SessionTable& sessions) override;
    void ShowProgress(bool shown) override;
    void ShowFatalError() override;
    void ShowSessionEndNotice(const std::string& title, const std::string& line) override;
    void Minimise() override;
    void PauseForUser(int milliseconds) override;
    [[nodiscard]] MonitorModel Monitors() override;
    void SettingsRead(const ClientSettings& settings) override;
    void SessionStarted(FrameBuffer& frameBuffer, SessionCommands& commands) override;
    void SetRemoteCursor(const CursorImage& image, int reverseCursorColor) override;
    [[nodiscard]] int EventLoop() override;
    void Quit(int exitCode) override;

    // For tests and measurements (GUI thread).
    [[nodiscard]] MainWindow* Window() const { return m_window; }
    [[nodiscard]] long RepaintsRequested() const;

protected:
    // Alt+Enter toggles full screen and Shift+F12 shows the statistics, wherever the focus is.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Runs `work` on the GUI thread and waits for it; runs it at once when already there.
    void RunOnGui(const std::function<void()>& work);
    void PostToGui(std::function<void()> work);
    void FlushRepaints();
    [[nodiscard]] std::chrono::steady_clock::duration RefreshInterval() const;

    StatusMailbox* m_mailbox = nullptr;
    std::function<void()> m_shutDown;

    // GUI thread only.
    QPointer<MainWindow> m_window;
    QPointer<ProgressWindow> m_progress;
    QPointer<StatisticsWindow> m_statistics;
    QPointer<QMessageBox> m_postedBox;
    QString m_title;  // the session's title, kept for a window that opens later
    bool m_swallowAltEnterRelease = false;
    std::chrono::steady_clock::time_point m_lastFlush;
    bool m_flushTimerActive = false;

    // The repaint requests not yet handed to the window.
    mutable std::mutex m_repaintMutex;
    QRegion m_dirty;
    bool m_flushPosted = false;
    long m_repaintsRequested = 0;
    std::chrono::steady_clock::time_point m_firstWaiting;  // the oldest request not yet handed over
    std::chrono::steady_clock::duration m_longestWait{};

    std::mutex m_quitMutex;
    std::condition_variable m_quitSignal;
    std::optional<int> m_exitCode;
};

}  // namespace corvane
