#include "clipboard/clipboard_messages.h"

#include "config/log.h"
#include "protocol/message_types.h"

namespace corvane {

void ClipboardMessages::Register(MessageRouter& router) {
    router.Register(ZRPPROTOCOL_MH_MESSCLPT, ClipboardRecordLayout::kSize,
                    [this](const MessageFrame& message) { ClipboardText(message); });
}

void ClipboardMessages::ClipboardText(const MessageFrame& message) {
    DebugPrint(1, "Receiving Clipboard Text from Corvane Server\n");
    DebugPrint(10, "Clipboard text (%zu bytes) is not taken yet\n", message.recordBytes);
}

}  // namespace corvane
