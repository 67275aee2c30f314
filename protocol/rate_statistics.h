// The incoming data rate: one sample per frame whose body exceeds 4096 bytes, in bytes per
// second. Written by the receive thread, read by the statistics window on another thread.
#pragma once

#include <cstdint>
#include <mutex>

namespace corvane {

struct RateSummary {
    bool any = false;  // false: no sample yet, the numbers are zero
    double mean = 0;
    double minimum = 0;
    double maximum = 0;
    double latest = 0;
};

class RateStatistics {
public:
    // Frames of this many body bytes or fewer are too short to time.
    static constexpr int64_t kSmallestTimedBody = 4096;

    // Records a body of `bytes` read in `milliseconds` (0 counts as 1).
    void AddSample(int64_t bytes, int64_t milliseconds);

    // The summary; with `reset` the samples are cleared after reading.
    [[nodiscard]] RateSummary Read(bool reset = false);

private:
    static constexpr double kNoSample = 1'999'999'999.0;

    std::mutex m_mutex;
    int64_t m_count = 0;
    double m_sum = 0;
    double m_latest = 0;
    double m_minimum = kNoSample;
    double m_maximum = 0;
};

}  // namespace corvane
