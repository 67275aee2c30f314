// What the pointer capability asks of the user interface: the server moves the user's
// pointer. Called on the receive thread; the implementation posts and returns.
#pragma once

namespace corvane {

class PointerPort {
public:
    virtual ~PointerPort() = default;

    // Moves the local pointer to this frame-buffer position (shown in the main window).
    virtual void MovePointer(int frameX, int frameY) = 0;
};

}  // namespace corvane
