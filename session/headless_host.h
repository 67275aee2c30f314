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

#include "session/ui_host.h"

namespace corvane {

class HeadlessHost : public UiHost {
public:
    explicit HeadlessHost(std::string sessionChoice) : m_sessionChoice(std::move(sessionChoice)) {}

    void RepaintRect(int, int, int, int) override { ++m_repaints; }
    void SetTitle(const std::string& title) override;
    void Beep(int, int) override { ++m_beeps; }
    void MessageBox(const std::string& caption, const std::string& text) override;
    [[nodiscard]] bool SessionLoginDialog(ClientSettings&) override { return true; }
    [[nodiscard]] bool EnterPasswordDialog(ClientSettings&) override { return true; }
    [[nodiscard]] bool ProjectIdentificationDialog(ClientSettings&) override { return true; }
    [[nodiscard]] int SessionControlDialog(const SessionTable& sessions) override;
    void ShowProgress(bool) override {}
    void ShowSessionEndNotice(const std::string& title, const std::string& line) override;
    void Minimise() override {}
    void PauseForUser(int) override {}
    [[nodiscard]] int EventLoop() override;
    void Quit(int exitCode) override;

    [[nodiscard]] long Repaints() const { return m_repaints.load(); }
    [[nodiscard]] std::string Title() const;

private:
    const std::string m_sessionChoice;
    std::atomic<long> m_repaints{0};
    std::atomic<long> m_beeps{0};
    mutable std::mutex m_mutex;
    std::condition_variable m_quitSignal;
    bool m_quit = false;  // under m_mutex
    int m_exitCode = 0;   // under m_mutex
    std::string m_title;  // under m_mutex
};

}  // namespace corvane
