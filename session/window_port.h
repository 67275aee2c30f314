// The session's windows over their whole life: the settings are known, a session is attached
// (its frame buffer and commands), the user-interface loop runs until Quit.
#pragma once

#include "config/client_settings.h"
#include "display/frame_buffer.h"
#include "session/session_commands.h"

namespace corvane {

class WindowPort {
public:
    virtual ~WindowPort() = default;

    // The settings have been read (before the login starts; the progress window's texts
    // depend on them). Called on the session thread.
    virtual void SettingsRead(const ClientSettings& settings) = 0;

    // The login attached a session: the main window shows this frame buffer (taking its
    // damage) and acts through `commands`. Both outlive the user-interface loop. Called
    // once, before the receive thread starts; returns without waiting for the windows.
    virtual void SessionStarted(FrameBuffer& frameBuffer, SessionCommands& commands) = 0;

    // Waits until Quit; returns Quit's exit code.
    [[nodiscard]] virtual int EventLoop() = 0;
    // Ends the session's windows with this exit code. Any thread.
    virtual void Quit(int exitCode) = 0;
};

}  // namespace corvane
