// The frame rate shown in the window title: image updates, image-cache messages and drawing
// requests are counted, and every 5 seconds the rate over that span is worked out.
//
// Plain arithmetic on a millisecond tick that wraps like a 32-bit tick count. Not
// synchronised: the receive thread owns the counter.
#pragma once

#include <cstdint>
#include <string>

namespace corvane {

class FrameRateCounter {
public:
    static constexpr uint32_t kPeriodMs = 5000;

    // Counts one frame at `nowMs`. True when more than kPeriodMs have passed since the
    // reference: the rate is worked out from the frames counted, the count starts again and
    // `nowMs` becomes the reference. The first frame counted only sets the reference.
    bool Count(uint32_t nowMs);

    // Frames per second over the last finished period, as 1000 / whole milliseconds per
    // frame; 0 before the first period ends.
    [[nodiscard]] double FramesPerSecond() const { return m_framesPerSecond; }

private:
    bool m_started = false;
    uint32_t m_reference = 0;
    uint32_t m_count = 0;
    double m_framesPerSecond = 0;
};

// What titles add while local mode is on.
inline constexpr const char* kLocalModeTitleSuffix = "  (Local mode: - On -)";

// "%s (%.2f fps %s)%s": base title, rate, compform name, and "  (Local mode: - On -)" while
// local mode is on.
[[nodiscard]] std::string RateTitle(const std::string& baseTitle, double framesPerSecond,
                                    const char* compformName, bool localMode);

}  // namespace corvane
