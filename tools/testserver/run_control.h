// What ends a server run, shared by its threads: a stop request (from the deadline, a
// signal or --once) with its reason, the socket of the connection being served (shut down
// by a stop, so that any read or write blocked on it returns), and one condition on which
// the serving threads wait for time or for news.
//
// Every function may be called from any thread.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

namespace corvane::testserver {

using Clock = std::chrono::steady_clock;

class RunControl {
  public:
    RunControl();
    ~RunControl();
    RunControl(const RunControl&) = delete;
    RunControl& operator=(const RunControl&) = delete;

    // The first request's reason is kept; later requests change nothing.
    void RequestStop(const std::string& reason);
    [[nodiscard]] bool StopRequested() const;
    [[nodiscard]] std::string StopReason() const;
    // Becomes readable once a stop has been requested: for poll() beside other descriptors.
    [[nodiscard]] int WakeDescriptor() const { return m_wakeRead; }

    // The connection a stop must cut. The owner clears it before closing the socket, so
    // a stop never touches a descriptor that may have been reused.
    void SetActiveSocket(int socket);
    void ClearActiveSocket();

    // Waits until `done` holds, a stop is requested, or `until` has passed (no limit when
    // empty). `done` is evaluated under the control's lock: whoever changes what it reads
    // calls Notify afterwards.
    void WaitUntil(std::optional<Clock::time_point> until, const std::function<bool()>& done);
    void Notify();

  private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_stop = false;
    std::string m_reason;
    int m_activeSocket = -1;
    int m_wakeRead = -1;
    int m_wakeWrite = -1;
};

}  // namespace corvane::testserver
