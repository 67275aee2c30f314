// What the hot keys ask of the user interface. Called on the user-interface thread from
// inside a key event: the implementation may act at once but must not start a nested event
// loop there (dialogs open after the event has been handled).
#pragma once

#include <string>

namespace corvane {

class HotKeyPort {
public:
    virtual ~HotKeyPort() = default;

    // The main window's title. `flash`: make it seen even while the view is full screen (the
    // view leaves full screen for a second, then comes back); `titleAfter`, when not empty,
    // replaces it a second later.
    virtual void ShowHotKeyTitle(const std::string& title, bool flash, const std::string& titleAfter) = 0;
    // The exit dialog, as closing the window opens it.
    virtual void OpenExitDialog() = 0;
    // The function-key help, in its originator or collaborator form.
    virtual void OpenFunctionDialog(bool collaborator) = 0;
    // The session statistics window, centred and in front.
    virtual void ShowStatistics() = 0;
    // Switches the keyboard grab on or off.
    virtual void ToggleKeyboardGrab() = 0;
    // The server's current cursor again, in the colouring `reverseCursorColor` picks.
    virtual void SetCursorColouring(int reverseCursorColor) = 0;
};

}  // namespace corvane
