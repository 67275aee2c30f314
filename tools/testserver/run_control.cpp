#include "tools/testserver/run_control.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace corvane::testserver {

RunControl::RunControl() {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) == 0) {
        m_wakeRead = ends[0];
        m_wakeWrite = ends[1];
    }
}

RunControl::~RunControl() {
    if (m_wakeRead >= 0) ::close(m_wakeRead);
    if (m_wakeWrite >= 0) ::close(m_wakeWrite);
}

void RunControl::RequestStop(const std::string& reason) {
    {
        std::lock_guard lock(m_mutex);
        if (m_stop) return;
        m_stop = true;
        m_reason = reason;
        if (m_activeSocket >= 0) ::shutdown(m_activeSocket, SHUT_RDWR);
    }
    m_changed.notify_all();
    const char byte = 1;
    (void)!::write(m_wakeWrite, &byte, 1);  // the pipe only has to become readable once
}

bool RunControl::StopRequested() const {
    std::lock_guard lock(m_mutex);
    return m_stop;
}

std::string RunControl::StopReason() const {
    std::lock_guard lock(m_mutex);
    return m_reason;
}

void RunControl::SetActiveSocket(int socket) {
    std::lock_guard lock(m_mutex);
    m_activeSocket = socket;
    if (m_stop) ::shutdown(socket, SHUT_RDWR);
}

void RunControl::ClearActiveSocket() {
    std::lock_guard lock(m_mutex);
    m_activeSocket = -1;
}

void RunControl::WaitUntil(std::optional<Clock::time_point> until, const std::function<bool()>& done) {
    std::unique_lock lock(m_mutex);
    auto finished = [&] { return m_stop || done(); };
    if (until) {
        m_changed.wait_until(lock, *until, finished);
    } else {
        m_changed.wait(lock, finished);
    }
}

void RunControl::Notify() {
    { std::lock_guard lock(m_mutex); }  // a waiter is either before its check or waiting
    m_changed.notify_all();
}

}  // namespace corvane::testserver
