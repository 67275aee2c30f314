#include "session/headless_host.h"

#include <vector>

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

void HeadlessHost::PutServerText(std::string text) {
    DebugPrint(10, "Clipboard: %zu bytes of the server's text kept\n", text.size());
    std::lock_guard lock(m_mutex);
    m_clipboardText = std::move(text);
}

void HeadlessHost::PutServerMetafile(std::vector<uint8_t> bits) {
    DebugPrint(10, "Clipboard: a metafile of %zu bytes from the server kept\n", bits.size());
    std::lock_guard lock(m_mutex);
    m_clipboardMetafile = std::move(bits);
}

std::string HeadlessHost::ClipboardText() const {
    std::lock_guard lock(m_mutex);
    return m_clipboardText;
}

std::vector<uint8_t> HeadlessHost::ClipboardMetafile() const {
    std::lock_guard lock(m_mutex);
    return m_clipboardMetafile;
}

void HeadlessHost::Bell(int frequencyHz, int) {
    // A bell of frequency 0 sounds nothing, here as anywhere.
    if (frequencyHz != 0) ++m_beeps;
}

void HeadlessHost::ShowSessionEndNotice(const std::string& title, const std::string& line) {
    DebugPrint(1, "%s: %s\n", title.c_str(), line.c_str());
    // Nobody is there to read it: the Exit button is pressed at once.
    Quit(0);
}

void HeadlessHost::ShowReconnecting(bool reconnecting) {
    DebugPrint(1, reconnecting ? "Reconnecting to the server\n" : "Reconnected to the server\n");
}

namespace {

// Nobody fills the form in: it is confirmed with the values it came with.
std::future<LoginForm> Confirmed(LoginForm form) {
    form.confirmed = true;
    return ReadyAnswer(std::move(form));
}

}  // namespace

std::future<LoginForm> HeadlessHost::SessionLoginDialog(LoginForm form) { return Confirmed(std::move(form)); }

std::future<LoginForm> HeadlessHost::EnterPasswordDialog(LoginForm form) { return Confirmed(std::move(form)); }

std::future<LoginForm> HeadlessHost::ProjectIdentificationDialog(LoginForm form) {
    return Confirmed(std::move(form));
}

std::future<int> HeadlessHost::SessionControlDialog(SessionTable sessions) {
    return ReadyAnswer(UnattendedSessionChoice(m_sessionChoice, sessions));
}

void HeadlessHost::SessionStarted(FrameBuffer& frameBuffer, SessionCommands&) {
    frameBuffer.SetDamageListener([this, &frameBuffer] {
        // Nobody paints: the damage is taken at once so that the next change signals again.
        ++m_repaints;
        thread_local std::vector<DamageRect> taken;
        frameBuffer.TakeDamage(taken);
    });
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
