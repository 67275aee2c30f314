// What the display code asks of the rest of the client while it handles server messages.
// The session implements it; the display code never sees windows or the session itself.
//
// Every call comes from the receive thread (or a decoder thread for repaints) and must not
// block on the user interface: implementations post or record and return.
#pragma once

#include <cstdint>
#include <string>

#include "display/cursor_image.h"

namespace corvane {

class DisplayEvents {
public:
    virtual ~DisplayEvents() = default;

    // Part of the frame buffer changed (frame-buffer coordinates): repaint it.
    virtual void RepaintRect(int x, int y, int width, int height) = 0;
    // All of it changed (a new colour table).
    virtual void RepaintAll() = 0;
    // An image update or drawing request has been drawn (counts toward --exit-after-frames).
    virtual void FrameDrawn() = 0;
    // After every image update: each open seamless pop-up window repaints, without erasing.
    // Nothing to do without seamless windows.
    virtual void RepaintSeamlessWindows() {}

    virtual void Beep(int frequencyHz, int milliseconds) = 0;
    // The main window's title; BaseTitle() is the session caption it is built from.
    virtual void SetTitle(const std::string& title) = 0;
    [[nodiscard]] virtual std::string BaseTitle() const = 0;

    // A session-control record (type 1014, host order, 32 bytes) from the server.
    virtual void SessionControl(const uint8_t* record) = 0;

    // The server's new mouse cursor for the remote screen. The receiver keeps its own cursor
    // while the remote pointer is off (local mode), and picks the colouring from its
    // `ReverseCursorColor` setting.
    virtual void CursorShape(const CursorImage& /*image*/) {}

    [[nodiscard]] virtual bool LocalMode() const = 0;
    [[nodiscard]] virtual bool SeamlessMode() const = 0;
    [[nodiscard]] virtual bool FullScreenSession() const = 0;
};

}  // namespace corvane
