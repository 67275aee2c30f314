// The one door between the session core and the user interface.
//
// The core calls these from the start-up thread during login and from the receive thread
// afterwards; an implementation must be callable from any thread and must not call back
// into the core while the caller waits. Two hosts implement it: the Qt host of the windowed
// client and the headless host that tests, benchmarks and scripts drive.
#pragma once

#include <string>
#include <vector>

#include "config/client_settings.h"
#include "display/cursor_image.h"
#include "display/frame_buffer.h"
#include "session/monitor_layout.h"
#include "session/session_commands.h"
#include "session/session_table.h"

namespace corvane {

class UiHost {
public:
    virtual ~UiHost() = default;

    // The frame buffer changed in this rectangle (frame-buffer coordinates).
    virtual void RepaintRect(int x, int y, int width, int height) = 0;
    virtual void SetTitle(const std::string& title) = 0;
    virtual void Beep(int frequencyHz, int milliseconds) = 0;
    // A modal message box with an OK button; returns when it is dismissed.
    virtual void MessageBox(const std::string& caption, const std::string& text) = 0;

    // Login dialogs: true when the user confirmed (Connect), false when cancelled. They may
    // change the settings.
    [[nodiscard]] virtual bool SessionLoginDialog(ClientSettings& settings) = 0;
    [[nodiscard]] virtual bool EnterPasswordDialog(ClientSettings& settings) = 0;
    [[nodiscard]] virtual bool ProjectIdentificationDialog(ClientSettings& settings) = 0;
    // The Session Control dialog over the disconnected sessions; the chosen session id (2: a
    // new session).
    [[nodiscard]] virtual int SessionControlDialog(const SessionTable& sessions) = 0;

    // The progress window: shown or hidden; the notice left on it when a session was lost or
    // closed, with its Exit button (the user's press of Exit ends the client).
    virtual void ShowProgress(bool shown) = 0;
    // The client ends on an error just posted: the progress window offers Exit.
    virtual void ShowFatalError() { ShowProgress(true); }
    virtual void ShowSessionEndNotice(const std::string& title, const std::string& line) = 0;

    // Minimises the main window and the pop-up windows.
    virtual void Minimise() = 0;

    // A pause that lets the user read what is shown (an error before the client ends, the
    // steps of a failed login). A host without a person returns at once.
    virtual void PauseForUser(int milliseconds) = 0;

    // The monitors a full-screen session may cover. A host without screens reports one
    // monitor of the default session size.
    [[nodiscard]] virtual MonitorModel Monitors() { return MonitorModel{1, 1024, 768}; }

    // The settings have been read (before the login starts; the progress window's texts
    // depend on them). Called on the start-up thread.
    virtual void SettingsRead(const ClientSettings& /*settings*/) {}

    // The login attached a session: the main window shows this frame buffer and acts through
    // `commands`. Both outlive the user-interface loop. Called once, before the receive
    // thread starts.
    virtual void SessionStarted(FrameBuffer& /*frameBuffer*/, SessionCommands& /*commands*/) {}

    // The server's mouse cursor over the remote screen, shown in the colouring that
    // `reverseCursorColor` picks (CursorImage::Pixels).
    virtual void SetRemoteCursor(const CursorImage& /*image*/, int /*reverseCursorColor*/) {}

    // Runs the user-interface loop until Quit; returns Quit's exit code.
    [[nodiscard]] virtual int EventLoop() = 0;
    // Ends the user-interface loop with this exit code (the quit message). Any thread.
    virtual void Quit(int exitCode) = 0;
};

}  // namespace corvane
