#include "platform/process.h"

#include <chrono>

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace corvane::platform {

int CurrentThreadId() { return static_cast<int>(syscall(SYS_gettid)); }

int CurrentThreadPriority() {
    // On Linux a thread's nice value is kept per thread and read by its thread id.
    return getpriority(PRIO_PROCESS, static_cast<id_t>(CurrentThreadId()));
}

int CurrentProcessId() { return static_cast<int>(getpid()); }

int64_t UnixTimeSeconds() {
    using namespace std::chrono;
    return duration_cast<seconds>(system_clock::now().time_since_epoch()).count();
}

uint64_t MonotonicMicroseconds() {
    using namespace std::chrono;
    return static_cast<uint64_t>(
        duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count());
}

}  // namespace corvane::platform
