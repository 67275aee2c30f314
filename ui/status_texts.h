// The texts the progress, statistics and exit windows show, as plain functions so that they
// can be checked without a window. Any thread; no state.
#pragma once

#include <array>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>

#include "config/status_mailbox.h"

namespace corvane {

// How the connection is made, which changes what the progress lines say.
struct ProgressOptions {
    bool noShowServer = false;  // the connection file hides the server's address
    bool viaSsl = false;
    bool viaProxy = false;      // only counts together with viaSsl
    std::string clientVersion;
    bool showOldLogo = false;   // draw the older line-art logo instead of the picture
};

// "1h. 2min. 5sec.", "1min. 5sec." or "59sec.": the largest unit that is not zero leads.
// Negative durations (a clock set back) count as 0.
[[nodiscard]] std::string DurationText(int64_t seconds);

// asctime's first 19 characters ("Wed Jun 30 09:14:01") on a 12-hour clock, then " AM" or
// " PM". Hours 13 to 23 become 1 to 11 PM, hour 0 becomes 12 AM, and 1 to 12 stay AM (noon
// is shown as 12 AM, as the client always has). The names are English whatever the locale,
// as asctime's are.
[[nodiscard]] std::string PointInTimeText(const std::tm& local);
// The same for a moment in local time.
[[nodiscard]] std::string LocalPointInTimeText(std::time_t moment);

// The average throughput as shown: below 1,800,000 bytes per second an estimate of the
// framing overhead, sqrt(average^3) x 0.0012, is taken off.
[[nodiscard]] double CorrectedAverage(double average);
// Bytes per second in kilobytes ("%5.2fK") or megabytes ("%3.2fM").
[[nodiscard]] std::string ThroughputText(double bytesPerSecond, bool megabytes);

// The five lines of the progress window, top to bottom.
enum ProgressLine : int {
    kLineInitializing = 0,
    kLineConnecting,
    kLineLoggingOn,
    kLineDetail,
    kLineError,
    kProgressLineCount
};

// What one status message changes on the progress window: the lines it sets (an empty text
// clears a line), whether the title becomes "Corvane Connection", and whether the hidden
// button is shown. A code the window does not know changes nothing.
struct ProgressChange {
    std::array<std::optional<std::string>, kProgressLineCount> lines;
    bool connectedTitle = false;
    bool showButton = false;
};
[[nodiscard]] ProgressChange ProgressChangeFor(const StatusMessage& message, const ProgressOptions& options);

// The statistics window's display line: "<name> <w> x <h>  <n> bit Color" (or "8/24 bit
// MultiMode" at depth 124), with ", Full Screen" when the session fills the screen. The name
// is the last three characters of the title built at login.
[[nodiscard]] std::string DisplayLineText(const std::string& titleText, int width, int height, int depth,
                                          bool fullScreen);

}  // namespace corvane
