// The server's cursor movements (type 1006): where the server moves the user's pointer. The
// move is handed to the user interface unless the user's pointer is their own (local mode).
//
// Receive thread only.
#pragma once

#include <atomic>
#include <cstddef>

#include "input/pointer_port.h"

#include "protocol/message_frame.h"
#include "protocol/message_router.h"

namespace corvane {

// Cursor-movement record: four words; the second and third are the new frame-buffer place.
struct CursorMovementLayout {
    static constexpr size_t kX = 4;
    static constexpr size_t kY = 8;
    static constexpr size_t kSize = 16;
};

class PointerMessages {
public:
    PointerMessages(PointerPort& port, const std::atomic<bool>& remotePointer)
        : m_port(port), m_remotePointer(remotePointer) {}

    void Register(MessageRouter& router);

private:
    void CursorMovement(const MessageFrame& message);

    PointerPort& m_port;
    const std::atomic<bool>& m_remotePointer;
};

}  // namespace corvane
