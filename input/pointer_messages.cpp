#include "input/pointer_messages.h"

#include "config/log.h"
#include "protocol/message_types.h"

namespace corvane {

void PointerMessages::Register(MessageRouter& router) {
    router.Register(ZRPPROTOCOL_MH_MESSCRMV, CursorMovementLayout::kSize,
                    [this](const MessageFrame& message) { CursorMovement(message); });
}

void PointerMessages::CursorMovement(const MessageFrame& message) {
    DebugPrint(1, "Received Cursor Movements request\n");
    DebugPrint(10, "Cursor movements (%zu bytes) are not followed yet\n", message.recordBytes);
}

}  // namespace corvane
