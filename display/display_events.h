// What the display code asks of the rest of the client while it handles server messages.
// The session implements it; the display code never sees windows or the session itself.
// Changed pixels are not reported here: writers add them to the frame buffer's damage.
//
// Every call comes from the receive thread (FrameDrawn also from decoder threads) and must not
// block on the user interface: implementations post or record and return.
#pragma once

#include <cstdint>
#include <string>

#include "display/cursor_image.h"

namespace corvane {

class DisplayEvents {
public:
    virtual ~DisplayEvents() = default;

    // An image update or drawing request has been drawn (counts toward --exit-after-frames).
    // Any thread; calls may overlap.
    virtual void FrameDrawn() = 0;

    // The server's bell. Frequency 0 sounds nothing.
    virtual void Beep(int frequencyHz, int milliseconds) = 0;
    // The main window's title; BaseTitle() is the session caption it is built from.
    virtual void SetTitle(const std::string& title) = 0;
    [[nodiscard]] virtual std::string BaseTitle() const = 0;

    // The server's new mouse cursor for the remote screen. The receiver keeps its own cursor
    // while the remote pointer is off (local mode), and picks the colouring from its
    // `ReverseCursorColor` setting.
    virtual void CursorShape(const CursorImage& /*image*/) {}

    [[nodiscard]] virtual bool LocalMode() const = 0;
};

}  // namespace corvane
