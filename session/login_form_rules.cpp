#include "session/login_form_rules.h"

#include <algorithm>
#include <cstdio>
#include <optional>

#include "config/log.h"
#include "config/scrambled_text.h"
#include "crypto/secure_wipe.h"

namespace corvane {

SessionLoginFields::~SessionLoginFields() {
    SecureWipe(password);
    SecureWipe(serverCode);
}

namespace {

constexpr const char* kInputError = "Input Error";
constexpr const char* kInsufficientColours = "Insufficient desktop colors.";
constexpr int kLargestSessionSide = 65535;  // the init record carries each side in 16 bits

constexpr std::array<const char*, 6> kBandwidthNames = {"Low", "Medium", "High", "Low 3", "Low 4", "Low 5"};
constexpr std::array<int, 11> kFullScreenWidths = {800, 1024, 1152, 1280, 1600, 2048, 2560, 3072, 3200, 3840, 4800};

// A whole positive number of at most `limit`, every character a digit; nothing otherwise.
std::optional<int> PositiveNumber(const std::string& text, int limit) {
    if (text.empty() || text.size() > 9 || !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return std::nullopt;
    }
    const int value = std::stoi(text);
    if (value <= 0 || value > limit) return std::nullopt;
    return value;
}

// The session number as the field holds it: its leading digits, 0 without any.
int SessionNumber(const std::string& text) {
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9' || value > 99'999'999) break;
        value = value * 10 + (c - '0');
    }
    return value;
}

std::string ClearPassword(const std::string& scrambled) {
    std::string clear;
    if (scrambled.empty() || UnscrambleText(scrambled, clear) != 0) return {};
    return clear;
}

UserMessage DepthMessage(int desktopDepth, int chosenDepth, bool tooFew) {
    char text[256];
    if (tooFew) {
        std::snprintf(text, sizeof text,
                      "The desktop is currently set to a color depth\r\nof %d and you have chosen a depth of 8.\r\n"
                      "Corvane requires at least 256 colors \r\nand may not display correctly in this mode.",
                      desktopDepth);
    } else {
        std::snprintf(text, sizeof text,
                      "The desktop is currently set to a color depth\r\nof %d and you have chosen a depth of %d.\r\n\r\n"
                      "Resetting color depth value to match your\r\ndesktop.",
                      desktopDepth, chosenDepth);
    }
    return {kInsufficientColours, text};
}

// The password in its stored form; false when it is too long to be stored.
bool ScrambledPassword(const std::string& clear, std::string& scrambled) { return ScrambleText(clear, scrambled) == 0; }

UserMessage PasswordTooLong() {
    return {kInputError, "The password is too long: at most " + std::to_string(kMaxClearLength) + " characters."};
}

}  // namespace

std::vector<std::string> BandwidthEntries(int value) {
    const size_t count = value >= 3 && value <= 5 ? kBandwidthNames.size() : 3;
    return std::vector<std::string>(kBandwidthNames.begin(), kBandwidthNames.begin() + static_cast<long>(count));
}

int DisplayModeIndex(int depth, int visualClass, bool glPlus) {
    switch (depth) {
        case 8: return visualClass == 3 ? 0 : 1;
        case 16: return 2;
        case 24: return glPlus ? 5 : 3;
        case 124: return glPlus ? 6 : 4;
        default: return 0;
    }
}

bool FullScreenWidthSupported(int virtualWidth) {
    return std::find(kFullScreenWidths.begin(), kFullScreenWidths.end(), virtualWidth) != kFullScreenWidths.end();
}

UserMessage IncompatibleScreenSizeMessage() {
    return {"Incompatible screen size",
            "This desktop screen size is incompatible\r\nwith \"Full Screen\" mode. Supported sizes are:\r\n"
            "800x600, 1024x768, 1152x864,\r\n1280x1024, 1600x1200, 2048x768\r\nand 2560x1024"};
}

DisplayModeCheck CheckDisplayMode(int index, int desktopDepth) {
    if (index < 0 || index > 4) return {index, {}};
    const int depth = kDisplayModes[static_cast<size_t>(index)].depth;
    if (depth == 16 && desktopDepth < 16) return {1, DepthMessage(desktopDepth, 16, false)};
    if ((depth == 24 || depth == 124) && desktopDepth < 24) {
        return {desktopDepth >= 16 ? 2 : 1, DepthMessage(desktopDepth, 24, false)};
    }
    if (depth == 8 && desktopDepth < 8) return {index, DepthMessage(desktopDepth, 8, true)};
    return {index, {}};
}

int SizeIndexOf(const std::string& widthText) {
    if (widthText == kFullScreenSizeText) return kFullScreenSizeIndex;
    for (size_t i = 0; i < kSessionSizes.size(); ++i) {
        if (widthText == kSessionSizes[i].text) return static_cast<int>(i);
    }
    return -1;
}

SessionLoginFields FirstShowingFields(const ClientSettings& s, const std::vector<HostEntry>& hosts) {
    SessionLoginFields f;
    f.user = s.deviceUserName;
    // Stand-alone, only a password the site file gives is filled in: the settings hold no other.
    f.password = ClearPassword(s.password);
    if (!hosts.empty()) {
        f.serverText = hosts.front().address;
        f.serverName = hosts.front().name;
        f.port = std::to_string(hosts.front().port);
        f.serverCode = hosts.front().code;
    } else {
        f.serverText = s.displayServerAddress;
        f.serverName = s.displayServerName;
        f.port = std::to_string(s.displayServerPort);
    }
    if (!s.serverCode.empty()) f.serverCode = s.serverCode;
    f.sessionId = std::to_string(s.sessionID);
    f.bandwidth = std::clamp(s.displayBandwidth, 0, 5);

    const bool fullScreenSession = s.useFullScreenMode != 0 || s.useSeamlessWindowingMode != 0 ||
                                   s.displayWidth < 0 || s.displayHeight < 0;
    if (fullScreenSession) {
        f.width = kFullScreenSizeText;
        f.height = kFullScreenSizeText;
    } else if (s.displayWidth == 0 && s.displayHeight == 0) {
        f.width = kSessionSizes[kDefaultSizeIndex].text;
        f.height = std::to_string(kSessionSizes[kDefaultSizeIndex].height);
    } else {
        f.width = std::to_string(s.displayWidth);
        f.height = std::to_string(s.displayHeight);
    }
    f.displayMode = DisplayModeIndex(s.displayDepth, s.displayVisual, s.useGLPlus != 0);
    f.seamless = s.useSeamlessWindowingMode != 0;
    f.fullScreen = f.seamless || s.useFullScreenMode != 0;
    f.monitors = s.monitors;
    return f;
}

SessionLoginFields LaterShowingFields(const LoginMemory& memory, const ClientSettings& s) {
    SessionLoginFields f = memory.fields;
    f.seamless = s.useSeamlessWindowingMode != 0;
    f.fullScreen = f.seamless || s.useFullScreenMode != 0;
    f.monitors = s.monitors;
    return f;
}

SessionLoginFields PasswordFields(const LoginMemory& memory, const ClientSettings& s) {
    if (memory.formEntered || memory.credentialsEntered) return memory.fields;
    SessionLoginFields f;
    f.user = s.deviceUserName;
    f.password = ClearPassword(s.password);
    return f;
}

std::string ServerAddressOf(const std::string& serverText) {
    const size_t start = serverText.find_first_not_of(" \t");
    if (start == std::string::npos) return {};
    const size_t end = serverText.find_first_of(" \t", start);
    return serverText.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

UserMessage AcceptSessionLogin(const SessionLoginFields& f, const MonitorModel& monitors, ClientSettings& settings,
                               LoginMemory& memory) {
    if (f.user.empty()) return {kInputError, "Please input username"};
    if (f.password.empty()) return {kInputError, "Please input password"};
    std::string scrambled;
    if (!ScrambledPassword(f.password, scrambled)) return PasswordTooLong();
    DebugPrint(1, "Selected Server %s\n", f.serverText.c_str());
    const std::string address = ServerAddressOf(f.serverText);
    if (address.empty()) return {kInputError, "Please input Host name or I.P."};
    const std::optional<int> port = PositiveNumber(f.port, 65535);
    if (!port) return {kInputError, "Please input port number"};

    const bool fullScreenSize = !f.width.empty() && f.width[0] == 'F';
    std::optional<int> width;
    std::optional<int> height;
    if (!fullScreenSize) {
        width = PositiveNumber(f.width, kLargestSessionSide);
        height = PositiveNumber(f.height, kLargestSessionSide);
        // A session of no size cannot be started: the server would refuse it later, less clearly.
        if (!width || !height) return {kInputError, "Please input the session width and height"};
    }
    FullScreenArea area;
    if (f.fullScreen || f.seamless) {
        switch (CheckMonitorSelection(monitors, f.monitors, area)) {
            case kNoMonitorSelected:
                return {"Input Error - Full Screen Mode", "Please select at least one monitor screen."};
            case kMonitorsNotAdjacent:
                return {"Input Error - Full Screen Mode", "Please make sure selected screens are next to each other."};
            case kMonitorsValid: break;
        }
    }

    // Every check passed: nothing is taken before, so a refusal leaves the settings as they were.
    settings.deviceUserName = f.user;
    settings.password = scrambled;
    settings.displayServerAddress = address;
    settings.displayServerName = f.serverName;
    settings.displayServerPort = *port;
    if (fullScreenSize) {
        settings.displayWidth = monitors.virtualWidth;
        settings.displayHeight = monitors.virtualHeight;
        settings.useFullScreenMode = 1;
    } else {
        settings.displayWidth = *width;
        settings.displayHeight = *height;
        settings.useFullScreenMode = 0;
    }
    settings.sessionID = SessionNumber(f.sessionId);
    settings.serverCode = f.serverCode;
    const size_t mode = static_cast<size_t>(std::clamp(f.displayMode, 0, static_cast<int>(kDisplayModes.size()) - 1));
    settings.displayDepth = kDisplayModes[mode].depth;
    settings.displayVisual = kDisplayModes[mode].visualClass;
    settings.useGLPlus = kDisplayModes[mode].glPlus ? 1 : 0;
    DebugPrint(1, "Selection %d:  Colordepth = %d, Visual = %d\n", static_cast<int>(mode), settings.displayDepth,
               settings.displayVisual);
    settings.displayBandwidth = std::clamp(f.bandwidth, 0, 5);
    settings.useSeamlessWindowingMode = f.seamless ? 1 : 0;
    settings.monitors = f.monitors;
    if (f.fullScreen || f.seamless) {
        settings.useFullScreenMode = 1;
        settings.displayWidth = area.width;
        settings.displayHeight = area.height;
    }
    memory.formEntered = true;
    memory.fields = f;
    return {};
}

UserMessage AcceptPassword(const std::string& user, const std::string& password, ClientSettings& settings,
                           LoginMemory& memory) {
    if (user.empty()) return {kInputError, "Please input username"};
    if (password.empty()) return {kInputError, "Please input password"};
    std::string scrambled;
    if (!ScrambledPassword(password, scrambled)) return PasswordTooLong();
    settings.deviceUserName = user;
    settings.password = scrambled;
    memory.credentialsEntered = true;
    memory.fields.user = user;
    memory.fields.password = password;
    return {};
}

}  // namespace corvane
