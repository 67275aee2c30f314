// What the windows of a running session may read from it and ask of it.
//
// The application object implements it; the user interface gets it together with the frame
// buffer once the login has attached a session. Facts() and the menu's calls belong to the
// user-interface thread; the figures and the exit requests may come from any thread.
// Every call returns without waiting for the network except where noted.
#pragma once

#include <array>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>

#include "input/keyboard_translator.h"
#include "input/pointer_translator.h"
#include "protocol/rate_statistics.h"

namespace corvane {

// Facts about the session, fixed once it is attached.
struct SessionFacts {
    std::string user;           // the login name ("demo" in demonstration mode)
    std::string remoteHost;     // the server's address as dialled
    std::string displayName;    // the server's display name from the connection settings
    int sessionId = 0;
    bool collaborating = false;  // joined by number
    bool sharedSession = false;  // a "Joint Desk " session
    bool demoMode = false;
    bool disconnectDisabled = false;  // the site's DisableDiscButton
    std::string projectId;
    std::string serverVersion;  // "9.40"
    int serverVersionNumber = 0;  // 940
    std::string clientVersion;
    std::string titleText;  // the title built at login
    int width = 0;
    int height = 0;
    int depth = 0;  // 8, 16, 24 or 124
    bool fullScreenSession = false;
    bool seamless = false;
    std::array<int, 4> monitors{1, 1, 1, 1};  // the monitors a full-screen session covers
    bool keyMapAvailable = false;  // "Toggle Int'l Keyboard Support" is offered
    bool grabKeyboard = false;     // the keyboard grab starts switched on
    std::time_t connectedAt = 0;
    std::string configDirectory;  // where "Save .zrp File..." starts
    std::string installPath;
    int debugDrawingRect = 0;
    bool clipboardExchange = false;  // the windows exchange the clipboard with this session
    bool clipboardPrimary = false;   // and the primary selection with it
    std::string serverLabel;  // the last word of the server's banner (seamless pop-up titles)
};

class SessionCommands {
public:
    virtual ~SessionCommands() = default;

    [[nodiscard]] virtual SessionFacts Facts() const = 0;

    // The incoming data rate; with `reset` the measurement starts again.
    [[nodiscard]] virtual RateSummary Throughput(bool reset) = 0;
    // The server's clock (seconds since 1970) from its last status record; 0 until one came.
    [[nodiscard]] virtual int64_t ServerTime() const = 0;
    // Whether a key or pointer event went out / a message came in since the last call.
    [[nodiscard]] virtual bool TakeInputSent() = 0;
    [[nodiscard]] virtual bool TakeMessageReceived() = 0;

    // The exit dialog's buttons. Both queue their request and return; the client ends half a
    // second later, when the server has had time to act on it (Exit keeps the client running
    // when the server asked for a delayed exit).
    virtual void ExitSession() = 0;
    virtual void DisconnectSession() = 0;
    // Ends the client (the progress window's Exit, the last window closed).
    virtual void ShutDown() = 0;

    // How many frames of a drawing-request stream may decode at once: 2, 4 or 8.
    virtual void SetDecoderThreadLimit(int limit) = 0;
    // Switches the key-map translation on or off; returns the new state.
    virtual bool ToggleKeyMapMode() = 0;
    // A key of the focused window (user-interface thread): translated and sent to the server.
    virtual void KeyEvent(const KeyInput& input) = 0;
    // The client's windows lost the keyboard to another program (user-interface thread).
    virtual void KeyboardLost() = 0;
    // A pointer event of the main window (user-interface thread).
    virtual void PointerEvent(const PointerInput& input) = 0;
    // The server moved the pointer to this place of the main window (user-interface thread):
    // the event the move brings is not sent back.
    virtual void PointerWarped(int clientX, int clientY) = 0;

    // The clipboard exchange (user-interface thread). The client's windows became active;
    // `localText` is the local clipboard's text (UTF-8) when another program put text there.
    virtual void ClipboardActivated(const std::optional<std::string>& localText) { (void)localText; }
    // The client's windows lost activation to another program.
    virtual void ClipboardDeactivated() {}
    // The server's text was put on the local clipboard.
    virtual void ClipboardPlaced(const std::string& localText) { (void)localText; }
    // A rectangle of the screen was copied to the local clipboard.
    virtual void RectangleCopied() {}
    // Seamless pop-ups, named by their handle (user-interface thread): the first mouse button
    // went down in one (`held`) or the last came up; the user restored one from minimised; the
    // user asked to close one. The server hears of the last two for linked windows only.
    virtual void SeamlessButtonHeld(uint32_t /*handle*/, bool /*held*/) {}
    virtual void SeamlessRestored(uint32_t /*handle*/) {}
    virtual void SeamlessCloseRequested(uint32_t /*handle*/) {}

    // Writes the session's connection file (`fullScreenShown`: the window is full screen
    // now); false when it could not be written.
    [[nodiscard]] virtual bool SaveConnectionFile(const std::string& path, bool fullScreenShown) = 0;
};

}  // namespace corvane
