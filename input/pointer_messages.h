// The server's cursor movements (type 1006): where the server moves the user's pointer.
//
// Receive thread only.
#pragma once

#include <cstddef>

#include "protocol/message_frame.h"
#include "protocol/message_router.h"

namespace corvane {

// Cursor-movement record: four words.
struct CursorMovementLayout {
    static constexpr size_t kSize = 16;
};

class PointerMessages {
public:
    void Register(MessageRouter& router);

private:
    void CursorMovement(const MessageFrame& message);
};

}  // namespace corvane
