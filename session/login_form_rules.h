// The rules of the login dialogs (Session Login and Enter Password), kept apart from any
// toolkit: the lists the dialog offers, how its fields are filled, and how what the user
// entered is checked and taken into the settings.
//
// Plain functions, callable from any thread; the dialogs call them on the user-interface
// thread with the texts of their fields.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "config/client_settings.h"
#include "config/host_list.h"
#include "session/monitor_layout.h"

namespace corvane {

// A message box for the user: a title and a text; empty when there is nothing to say.
struct UserMessage {
    std::string title;
    std::string text;
    [[nodiscard]] bool empty() const { return text.empty(); }
};

// The most characters the user name, password and server code fields take.
inline constexpr int kLoginFieldLimit = 100;

struct SessionSize {
    const char* text;
    int width;
    int height;
};

// The session sizes offered, and the height each puts into the height field. The last entry
// of the list, after these, is full screen.
inline constexpr std::array<SessionSize, 13> kSessionSizes{{
    {"800", 800, 600},    {"1024", 1024, 768},  {"1280", 1280, 1024}, {"1366", 1366, 768},  {"1440", 1440, 900},
    {"1600", 1600, 1200}, {"1920", 1920, 1200}, {"2048", 2048, 768},  {"2560", 2560, 1024}, {"2732", 2732, 768},
    {"2880", 2880, 900},  {"3200", 3200, 1200}, {"3840", 3840, 1200},
}};
inline constexpr int kFullScreenSizeIndex = static_cast<int>(kSessionSizes.size());
inline constexpr const char* kFullScreenSizeText = "Full Scr.";
inline constexpr int kDefaultSizeIndex = 1;  // "1024"

struct DisplayMode {
    const char* text;
    int depth;
    int visualClass;
    bool glPlus;
};

inline constexpr std::array<DisplayMode, 7> kDisplayModes{{
    {"8 bit - Pseudo Color", 8, 3, false},
    {"8 bit - True Color", 8, 4, false},
    {"16 bit - True Color", 16, 4, false},
    {"24 bit - True Color", 24, 4, false},
    {"8/24 bit - MultiMode", 124, 4, false},
    {"GL+: 24 bit - True Color", 24, 4, true},
    {"GL+: 8/24 bit - MultiMode", 124, 4, true},
}};

// The bandwidth list for the current value: "Low", "Medium", "High", and the three "Low n"
// entries only when the value is one of them. The index of an entry is its value.
[[nodiscard]] std::vector<std::string> BandwidthEntries(int value);

// The display-mode entry for a depth, visual class and GL+ setting.
[[nodiscard]] int DisplayModeIndex(int depth, int visualClass, bool glPlus);

// Full screen is offered only on virtual screens of these widths.
[[nodiscard]] bool FullScreenWidthSupported(int virtualWidth);
[[nodiscard]] UserMessage IncompatibleScreenSizeMessage();

// A display mode chosen on a desktop of `desktopDepth` bits per pixel: the entry to select
// (the choice, or a lower one the desktop can show) and the message to show, if any. Only
// the first five entries are checked.
struct DisplayModeCheck {
    int index;
    UserMessage message;
};
[[nodiscard]] DisplayModeCheck CheckDisplayMode(int index, int desktopDepth);

// What the Session Login dialog shows and the user edits, as texts and list positions.
// The password and the server code are wiped when the fields go (a copy wipes its own).
struct SessionLoginFields {
    ~SessionLoginFields();

    std::string user;
    std::string password;  // clear text
    std::string serverText;
    std::string serverName;  // the display name of the chosen host
    std::string port;
    std::string sessionId;
    std::string serverCode;
    int bandwidth = 1;
    std::string width = "1024";  // the width list's text (kFullScreenSizeText for full screen)
    std::string height = "768";
    int displayMode = 3;
    bool fullScreen = false;
    bool seamless = false;
    std::array<int, kSelectableMonitors> monitors{1, 1, 1, 1};
};

// What the dialogs keep between showings: the last values entered, and which dialog entered
// them (Enter Password enters only the user name and password).
struct LoginMemory {
    bool formEntered = false;
    bool credentialsEntered = false;
    SessionLoginFields fields;
};

// The position of a width text in the width list (kFullScreenSizeIndex for full screen); -1
// when the list does not hold it.
[[nodiscard]] int SizeIndexOf(const std::string& widthText);

// The fields of a first showing, from the settings as the site and connection files left them
// and the host list, whose first entry is selected.
[[nodiscard]] SessionLoginFields FirstShowingFields(const ClientSettings& settings,
                                                    const std::vector<HostEntry>& hosts);

// The fields of a later showing: the last values entered; the check boxes follow the
// settings as they stand.
[[nodiscard]] SessionLoginFields LaterShowingFields(const LoginMemory& memory, const ClientSettings& settings);

// The user name and password the Enter Password dialog starts with.
[[nodiscard]] SessionLoginFields PasswordFields(const LoginMemory& memory, const ClientSettings& settings);

// The server's address: the first word of the server text.
[[nodiscard]] std::string ServerAddressOf(const std::string& serverText);

// Connect in the Session Login dialog: checks the fields in order and, when all are valid,
// takes them into `settings` (the password scrambled) and into `memory`. The message of the
// first check that failed (nothing is taken then); empty on success. `monitors` is the
// screen the client runs on.
[[nodiscard]] UserMessage AcceptSessionLogin(const SessionLoginFields& fields, const MonitorModel& monitors,
                                             ClientSettings& settings, LoginMemory& memory);

// Connect in the Enter Password dialog: user name and password only.
[[nodiscard]] UserMessage AcceptPassword(const std::string& user, const std::string& password,
                                         ClientSettings& settings, LoginMemory& memory);

}  // namespace corvane
