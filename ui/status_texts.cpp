#include "ui/status_texts.h"

#include <cmath>
#include <cstdio>

namespace corvane {

namespace {

// The status code that empties the log-on line has no name of its own in the mailbox.
constexpr int32_t kStatusClearLoggingOn = 10010;

constexpr double kOverheadThreshold = 1'800'000.0;
constexpr double kOverheadFactor = 0.0012;

std::string Format(const char* format, auto... args) {
    char text[320];
    std::snprintf(text, sizeof text, format, args...);
    return text;
}

}  // namespace

std::string DurationText(int64_t seconds) {
    if (seconds < 0) seconds = 0;
    const long long hours = seconds / 3600;
    const long long minutes = seconds / 60 % 60;
    const long long rest = seconds % 60;
    if (hours != 0) return Format("%lldh. %lldmin. %lldsec.", hours, minutes, rest);
    if (minutes != 0) return Format("%lldmin. %lldsec.", minutes, rest);
    return Format("%lldsec.", rest);
}

std::string PointInTimeText(const std::tm& local) {
    static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const bool pm = local.tm_hour > 12;
    const int hour = local.tm_hour == 0 ? 12 : (pm ? local.tm_hour - 12 : local.tm_hour);
    const char* day = local.tm_wday >= 0 && local.tm_wday < 7 ? kDays[local.tm_wday] : "???";
    const char* month = local.tm_mon >= 0 && local.tm_mon < 12 ? kMonths[local.tm_mon] : "???";
    // asctime's layout up to the year.
    return Format("%.3s %.3s%3d %.2d:%.2d:%.2d %s", day, month, local.tm_mday, hour, local.tm_min,
                  local.tm_sec, pm ? "PM" : "AM");
}

std::string LocalPointInTimeText(std::time_t moment) {
    std::tm local{};
    localtime_r(&moment, &local);
    return PointInTimeText(local);
}

double CorrectedAverage(double average) {
    if (average >= kOverheadThreshold || average <= 0) return average;
    const double corrected = average - std::sqrt(average * average * average) * kOverheadFactor;
    // From about 694,000 bytes per second on, the overhead estimate exceeds the measured rate
    // itself; a negative or zero rate would be plainly wrong, so the measurement is shown.
    return corrected > 0 ? corrected : average;
}

std::string ThroughputText(double bytesPerSecond, bool megabytes) {
    if (megabytes) return Format("%3.2fM", bytesPerSecond / (1024.0 * 1024.0));
    return Format("%5.2fK", bytesPerSecond / 1024.0);
}

ProgressChange ProgressChangeFor(const StatusMessage& message, const ProgressOptions& options) {
    ProgressChange change;
    const char* text = message.text.c_str();
    switch (message.code) {
        case kStatusInitializing:
            change.lines[kLineInitializing] = "Initializing:";
            break;
        case kStatusConnecting:
            change.lines[kLineConnecting] =
                options.noShowServer ? std::string("Connecting to Server") : Format("Connecting to:  %s", text);
            break;
        case kStatusLoggingOn:
            if (options.viaSsl && options.viaProxy) {
                change.lines[kLineLoggingOn] = Format("Logging on (via Proxy): User \"%s\"", text);
            } else if (options.viaSsl) {
                change.lines[kLineLoggingOn] = Format("Logging on (via SSL): User \"%s\"", text);
            } else {
                change.lines[kLineLoggingOn] = Format("Logging on: User \"%s\"", text);
            }
            break;
        case kStatusAuthentication:
            change.lines[kLineDetail] = message.text;
            change.connectedTitle = true;
            break;
        case kStatusError:
            change.lines[kLineError] = message.text;
            change.showButton = !message.quiet;
            break;
        case kStatusClearError:
            change.lines[kLineError] = "";
            break;
        case kStatusClearAuthentication:
            change.lines[kLineDetail] = "";
            break;
        case kStatusClearLoggingOn:
            change.lines[kLineLoggingOn] = "";
            break;
        case kStatusClearAll:
            change.lines[kLineConnecting] = "";
            change.lines[kLineLoggingOn] = "";
            change.lines[kLineDetail] = "";
            change.lines[kLineError] = "";
            break;
        default:
            break;
    }
    return change;
}

std::string DisplayLineText(const std::string& titleText, int width, int height, int depth, bool fullScreen) {
    const std::string name = titleText.size() > 3 ? titleText.substr(titleText.size() - 3) : titleText;
    if (depth == 124) {
        return Format(fullScreen ? "%s %d x %d  8/24 bit MultiMode, Full Screen" : "%s %d x %d  8/24 bit MultiMode",
                      name.c_str(), width, height);
    }
    return Format(fullScreen ? "%s %d x %d  %d bit Color, Full Screen" : "%s %d x %d  %d bit Color", name.c_str(),
                  width, height, depth);
}

}  // namespace corvane
