#include "input/pointer_messages.h"

#include "config/log.h"
#include "protocol/message_types.h"
#include "protocol/records.h"

namespace corvane {

void PointerMessages::Register(MessageRouter& router) {
    router.Register(ZRPPROTOCOL_MH_MESSCRMV, CursorMovementLayout::kSize,
                    [this](const MessageFrame& message) { CursorMovement(message); });
}

void PointerMessages::CursorMovement(const MessageFrame& message) {
    DebugPrint(1, "Received Cursor Movements request\n");
    if (!m_remotePointer.load()) return;
    m_port.MovePointer(LoadField<int32_t>(message.record, CursorMovementLayout::kX),
                       LoadField<int32_t>(message.record, CursorMovementLayout::kY));
}

}  // namespace corvane
