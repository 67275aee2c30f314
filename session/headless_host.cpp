#include "session/headless_host.h"

#include "config/log.h"

namespace corvane {

void HeadlessHost::SetTitle(const std::string& title) {
    std::lock_guard lock(m_mutex);
    m_title = title;
}

std::string HeadlessHost::Title() const {
    std::lock_guard lock(m_mutex);
    return m_title;
}

void HeadlessHost::MessageBox(const std::string& caption, const std::string& text) {
    DebugPrint(1, "Message box \"%s\": %s\n", caption.c_str(), text.c_str());
}

int HeadlessHost::SessionControlDialog(const SessionTable& sessions) {
    return UnattendedSessionChoice(m_sessionChoice, sessions);
}

void HeadlessHost::ShowSessionEndNotice(const std::string& title, const std::string& line) {
    DebugPrint(1, "%s: %s\n", title.c_str(), line.c_str());
    // Nobody is there to read it: the Exit button is pressed at once.
    Quit(0);
}

int HeadlessHost::EventLoop() {
    std::unique_lock lock(m_mutex);
    m_quitSignal.wait(lock, [this] { return m_quit; });
    return m_exitCode;
}

void HeadlessHost::Quit(int exitCode) {
    std::lock_guard lock(m_mutex);
    if (m_quit) return;
    m_quit = true;
    m_exitCode = exitCode;
    m_quitSignal.notify_all();
}

}  // namespace corvane
