#include "ui/seamless_platform.h"

#include <cstdlib>
#include <mutex>

#include "config/connection_file.h"
#include "config/key_lookup.h"

namespace corvane {
namespace {

std::mutex g_noteMutex;
std::string g_note;  // under g_noteMutex

std::string Variable(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

}  // namespace

PlatformChoice ChooseSeamlessPlatform(bool seamless, const PlatformEnvironment& environment) {
    PlatformChoice choice;
    if (!seamless || environment.waylandDisplay.empty() || !environment.chosenPlatform.empty()) return choice;
    if (!environment.x11Display.empty()) {
        choice.platform = "xcb";
        choice.note = "Seamless windows: using the X11 platform (XWayland), since Wayland does not let a client "
                      "place its windows";
    } else {
        choice.note = "Seamless windows: Wayland does not let a client place its windows and no X11 display "
                      "(XWayland) is there; the windows stand where the desktop puts them";
    }
    return choice;
}

void PreferX11ForSeamless(const std::string& connectionFile) {
    bool seamless = false;
    const KeyLookup found = LookupKey(connectionFile, kConnectionSection, "UseSeamlessWindowingMode");
    if (found.status == kLookupFound) seamless = IntValue(found.line).value_or(0) != 0;
    const PlatformChoice choice = ChooseSeamlessPlatform(
        seamless, {Variable("WAYLAND_DISPLAY"), Variable("DISPLAY"), Variable("QT_QPA_PLATFORM")});
    if (!choice.platform.empty()) setenv("QT_QPA_PLATFORM", choice.platform.c_str(), 1);
    std::lock_guard lock(g_noteMutex);
    g_note = choice.note;
}

std::string SeamlessPlatformNote() {
    std::lock_guard lock(g_noteMutex);
    return g_note;
}

std::string SeamlessPlatformWarning(bool seamless, const std::string& platformName) {
    if (!seamless || platformName != "wayland") return {};
    return "Seamless windows: Wayland does not let a client place its windows; they stand where the desktop "
           "puts them (start the client with QT_QPA_PLATFORM=xcb to place them)";
}

}  // namespace corvane
