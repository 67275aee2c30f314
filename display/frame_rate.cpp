#include "display/frame_rate.h"

#include <cstdio>

namespace corvane {

bool FrameRateCounter::Count(uint32_t nowMs) {
    if (!m_started) {
        // The first frame only starts the clock: a rate needs a span to be measured over.
        m_started = true;
        m_reference = nowMs;
        return false;
    }
    ++m_count;
    // Unsigned difference: right across the tick's wrap.
    const uint32_t elapsed = nowMs - m_reference;
    if (elapsed <= kPeriodMs) return false;
    const uint32_t msPerFrame = elapsed / m_count;
    // Faster than a frame per millisecond: the whole milliseconds say nothing, use the exact
    // rate rather than dividing by zero.
    m_framesPerSecond = msPerFrame > 0 ? 1000.0 / msPerFrame : 1000.0 * m_count / elapsed;
    m_count = 0;
    m_reference = nowMs;
    return true;
}

std::string RateTitle(const std::string& baseTitle, double framesPerSecond,
                      const char* compformName, bool localMode) {
    char rate[64];
    std::snprintf(rate, sizeof rate, " (%.2f fps %s)", framesPerSecond, compformName);
    std::string title = baseTitle;
    title += rate;
    if (localMode) title += kLocalModeTitleSuffix;
    return title;
}

}  // namespace corvane
