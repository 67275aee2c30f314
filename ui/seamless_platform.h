// Seamless pop-ups stand where the server puts them, which Wayland does not let a client do.
// Before the toolkit starts, a connection file that asks for seamless windows on a Wayland
// desktop switches the client to the X11 platform (XWayland) when there is an X display, and
// says so; without one the pop-ups stand where the desktop puts them, and the client says
// that instead.
//
// Main thread, before the QApplication exists (PreferX11ForSeamless); the note is read later
// on any thread.
#pragma once

#include <string>

namespace corvane {

// Sets QT_QPA_PLATFORM to xcb when `connectionFile` asks for seamless windows, the session
// runs on Wayland, an X display is there and nobody chose a platform. The environment is
// passed in to keep the rule testable; the real call passes getenv.
struct PlatformEnvironment {
    std::string waylandDisplay;
    std::string x11Display;
    std::string chosenPlatform;  // QT_QPA_PLATFORM as set by the user
};
struct PlatformChoice {
    std::string platform;  // empty: leave the toolkit's choice
    std::string note;      // what to tell the user (empty: nothing)
};
[[nodiscard]] PlatformChoice ChooseSeamlessPlatform(bool seamless, const PlatformEnvironment& environment);

// Reads the connection file's seamless setting and the environment, and applies the choice.
void PreferX11ForSeamless(const std::string& connectionFile);

// What PreferX11ForSeamless decided to tell the user; empty when nothing.
[[nodiscard]] std::string SeamlessPlatformNote();

// The note for a session that turned out seamless on a platform that cannot place windows
// (`platformName` as the toolkit names it); empty when the platform can.
[[nodiscard]] std::string SeamlessPlatformWarning(bool seamless, const std::string& platformName);

}  // namespace corvane
