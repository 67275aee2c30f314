#include "protocol/rate_statistics.h"

#include <algorithm>

namespace corvane {

void RateStatistics::AddSample(int64_t bytes, int64_t milliseconds) {
    if (bytes <= kSmallestTimedBody) return;
    double rate = static_cast<double>(bytes) * 1000.0 / static_cast<double>(std::max<int64_t>(milliseconds, 1));
    std::lock_guard lock(m_mutex);
    m_latest = rate;
    m_sum += rate;
    ++m_count;
    m_minimum = std::min(m_minimum, rate);
    m_maximum = std::max(m_maximum, rate);
}

RateSummary RateStatistics::Read(bool reset) {
    std::lock_guard lock(m_mutex);
    RateSummary summary;
    if (m_count > 0) {
        summary = {true, m_sum / static_cast<double>(m_count), m_minimum, m_maximum, m_latest};
    }
    if (reset) {
        m_count = 0;
        m_sum = 0;
        m_latest = 0;
        m_minimum = kNoSample;
        m_maximum = 0;
    }
    return summary;
}

}  // namespace corvane
