// Small facts about the running process that the core needs without a toolkit.
// All functions may be called from any thread.
#pragma once

#include <cstdint>

namespace corvane::platform {

// The kernel's identifier of the calling thread (what a log record shows).
[[nodiscard]] int CurrentThreadId();

// The scheduling priority of the calling thread, as the system counts it (its nice value;
// lower runs first). This client leaves every thread at the priority it started with.
[[nodiscard]] int CurrentThreadPriority();

// The process identifier.
[[nodiscard]] int CurrentProcessId();

// Seconds since 1970-01-01 UTC.
[[nodiscard]] int64_t UnixTimeSeconds();

// A monotonic microsecond counter from an arbitrary origin.
[[nodiscard]] uint64_t MonotonicMicroseconds();

}  // namespace corvane::platform
