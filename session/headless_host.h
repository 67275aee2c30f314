// The user interface of a client that nobody watches: tests, benchmarks and scripts.
//
// Dialogs are confirmed with the values they were filled with; the Session Control dialog
// answers with the --session-choice rule; pauses meant for a reader return at once; the
// progress window's notice is taken as a press of its Exit button. Nothing is drawn: the
// host only counts what it was asked to do. Every call may come from any thread.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "session/session_ports.h"

namespace corvane {

class HeadlessHost : public NoticePort,
                     public DialogPort,
                     public CursorPort,
                     public WindowPort,
                     public PointerPort,
                     public HotKeyPort,
                     public ClipboardPort,
                     public SeamlessPort {
public:
    explicit HeadlessHost(std::string sessionChoice) : m_sessionChoice(std::move(sessionChoice)) {}

    [[nodiscard]] SessionPorts Ports() { return SessionPorts{*this, *this, *this, *this, *this, *this, *this, *this}; }

    // NoticePort.
    void SetTitle(const std::string& title) override;
    void Bell(int frequencyHz, int) override;
    void ErrorBeep() override { ++m_beeps; }
    void ShowProgress(bool) override {}
    void ShowFatalError() override {}
    void ShowSessionEndNotice(const std::string& title, const std::string& line) override;
    void ShowReconnecting(bool reconnecting) override;
    void Minimise() override {}
    void PauseForUser(int) override {}

    // DialogPort.
    [[nodiscard]] std::future<LoginForm> SessionLoginDialog(LoginForm form) override;
    [[nodiscard]] std::future<LoginForm> EnterPasswordDialog(LoginForm form) override;
    [[nodiscard]] std::future<LoginForm> ProjectIdentificationDialog(LoginForm form) override;
    [[nodiscard]] std::future<int> SessionControlDialog(SessionTable sessions) override;
    [[nodiscard]] std::future<MonitorModel> Monitors() override { return ReadyAnswer(MonitorModel{1, 1024, 768}); }

    // CursorPort.
    void SetRemoteCursor(const CursorImage&, int) override {}

    // PointerPort: there is no pointer to move.
    void MovePointer(int, int) override {}

    // HotKeyPort: the title changes; nobody is there for the windows.
    void ShowHotKeyTitle(const std::string& title, bool, const std::string&) override { SetTitle(title); }
    void OpenExitDialog() override {}
    void OpenFunctionDialog(bool) override {}
    void ShowStatistics() override {}
    void ToggleKeyboardGrab() override {}
    void SetCursorColouring(int) override {}
    // ClipboardPort: the server's clipboard is kept, as a clipboard would keep it.
    void PutServerText(std::string text) override;
    void PutServerMetafile(std::vector<uint8_t> bits) override;
    // SeamlessPort: no windows, only their number.
    void CreatePopup(const SeamlessWindow&) override { ++m_popups; }
    void RetakePopup(const SeamlessWindow&) override {}
    void MovePopup(uint32_t, int32_t, int32_t, int32_t, int32_t, bool) override {}
    void ShowPopup(uint32_t, PopupShow) override {}
    void DestroyPopup(uint32_t) override { --m_popups; }
    [[nodiscard]] long Popups() const { return m_popups.load(); }

    // WindowPort.
    void SettingsRead(const ClientSettings&) override {}
    void SessionStarted(FrameBuffer& frameBuffer, SessionCommands& commands) override;
    [[nodiscard]] int EventLoop() override;
    void Quit(int exitCode) override;

    // Damage signals taken from the frame buffer.
    [[nodiscard]] long Repaints() const { return m_repaints.load(); }
    [[nodiscard]] std::string Title() const;
    // The last text and metafile the server put on the clipboard.
    [[nodiscard]] std::string ClipboardText() const;
    [[nodiscard]] std::vector<uint8_t> ClipboardMetafile() const;

private:
    const std::string m_sessionChoice;
    std::atomic<long> m_repaints{0};
    std::atomic<long> m_beeps{0};
    std::atomic<long> m_popups{0};
    mutable std::mutex m_mutex;
    std::condition_variable m_quitSignal;
    bool m_quit = false;  // under m_mutex
    int m_exitCode = 0;   // under m_mutex
    std::string m_title;  // under m_mutex
    std::string m_clipboardText;             // under m_mutex
    std::vector<uint8_t> m_clipboardMetafile;  // under m_mutex
};

}  // namespace corvane
