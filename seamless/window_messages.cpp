#include "seamless/window_messages.h"

#include <algorithm>
#include <cstring>

#include "config/log.h"
#include "protocol/message_types.h"
#include "protocol/records.h"

namespace corvane {

void WindowMessages::Register(MessageRouter& router) {
    router.Register(ZRPPROTOCOL_MH_MESSWIND, WindowRecordLayout::kSize,
                    [this](const MessageFrame& message) { Windowing(message); });
}

void WindowMessages::Windowing(const MessageFrame& message) {
    DebugPrint(5, "Received Windowing request\n");
    // Without seamless windows there is nothing to act on.
    if (!m_seamless) return;
    m_text.fill(0);
    const uint32_t declared = LoadField<uint32_t>(message.record, WindowRecordLayout::kTextLength);
    const size_t inMessage = message.recordBytes - WindowRecordLayout::kText;
    const size_t length = std::min({size_t{declared}, inMessage, kTextBufferSize - 1});
    // A title is zero-terminated: only text beyond the buffer is worth a record, not the
    // terminator of a title that fills it.
    const size_t present = std::min(size_t{declared}, inMessage);
    const uint8_t* text = message.record + WindowRecordLayout::kText;
    const bool textCut = std::any_of(text + length, text + present, [](uint8_t byte) { return byte != 0; });
    if (length < declared && (textCut || present < declared)) {
        DebugPrint(0, "Windowing request: text of %u bytes cut to %zu (%zu in the message)\n", declared, length,
                   inMessage);
    }
    std::memcpy(m_text.data(), message.record + WindowRecordLayout::kText, length);
    // A title is text up to its first zero byte.
    m_textLength = strnlen(m_text.data(), length);
    if (m_requests != nullptr) (void)m_requests->Handle(ReadWindowRequest(message.record), WindowText());
}

}  // namespace corvane
