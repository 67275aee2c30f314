#include "platform/process.h"

#include <chrono>

#include <sys/syscall.h>
#include <unistd.h>

namespace corvane::platform {

int CurrentThreadId() { return static_cast<int>(syscall(SYS_gettid)); }

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
