// Waits that end early when the client is quitting: the pauses and grace periods of the
// session's own threads, so that no thread keeps the client alive after the user ended it.
// Any thread.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace corvane {

class QuitSignal {
public:
    explicit QuitSignal(const std::atomic<bool>& quitting) : m_quitting(quitting) {}

    // Sleeps `milliseconds`; false (at once) when the client is quitting.
    [[nodiscard]] bool SleepUnlessQuitting(int milliseconds) {
        std::unique_lock lock(m_mutex);
        return !m_wake.wait_for(lock, std::chrono::milliseconds(milliseconds), [this] { return m_quitting.load(); });
    }

    // Waits until `deadline` or until `done` holds; true when `done` held. Wakes on Notify.
    template <typename Clock, typename Duration, typename Done>
    bool WaitUntil(std::chrono::time_point<Clock, Duration> deadline, Done done) {
        std::unique_lock lock(m_mutex);
        return m_wake.wait_until(lock, deadline, done);
    }

    // Wakes every wait: the quitting flag (or another condition) changed. Set the flag first.
    void Notify() {
        std::lock_guard lock(m_mutex);
        m_wake.notify_all();
    }

private:
    const std::atomic<bool>& m_quitting;
    std::mutex m_mutex;
    std::condition_variable m_wake;
};

}  // namespace corvane
