// The exit dialog ("Exit"): asks whether to end the session, keep it on the server
// (Disconnect) or go back to it (Cancel).
//
// User-interface thread only. While the dialog is open the picture is shown dimmed so that
// the user sees the session is on hold; Cancel shows it as it is again, with everything the
// server drew meanwhile.
#pragma once

#include <functional>

#include "session/session_commands.h"

class QWidget;

namespace corvane {

// Runs the modal dialog over `mainWindow` and returns when it is closed. `setDimmed` turns the
// picture's dimming on and off (a painted overlay); `setDialogOpen(true/false)` brackets the time
// the dialog is up (the main window keeps painting meanwhile; the caller may re-enter its
// seamless view on false). Exit and Disconnect hand over to `commands`, whose request waits
// half a second for the server: that wait runs on a worker thread while this thread keeps
// painting. A second call while one runs returns at once.
void RunExitDialog(QWidget* mainWindow, SessionCommands& commands, const std::function<void(bool)>& setDimmed,
                   const std::function<void(bool)>& setDialogOpen);

}  // namespace corvane
