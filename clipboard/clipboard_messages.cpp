#include "clipboard/clipboard_messages.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include "clipboard/clipboard_metafile.h"
#include "config/log.h"
#include "protocol/message_types.h"
#include "protocol/records.h"

namespace corvane {
namespace {

// How much of the server's text its log record shows.
constexpr int kLoggedTextLimit = 1024;

}  // namespace

void ClipboardMessages::Register(MessageRouter& router) {
    router.Register(ZRPPROTOCOL_MH_MESSCLPT, ClipboardRecordLayout::kSize,
                    [this](const MessageFrame& message) { ClipboardText(message); });
}

void ClipboardMessages::ClipboardText(const MessageFrame& message) {
    DebugPrint(1, "Receiving Clipboard Text from Corvane Server\n");
    const uint32_t length = LoadField<uint32_t>(message.record, ClipboardRecordLayout::kCount);
    const size_t available = message.recordBytes - ClipboardRecordLayout::kSize;
    if (length > available) {
        DebugPrint(0, "Clipboard: the server's text claims %u bytes; its message holds %zu. Dropped.\n", length,
                   available);
        return;
    }
    const std::string_view text(reinterpret_cast<const char*>(message.record + ClipboardRecordLayout::kSize), length);
    DebugPrint(10, "Receiving the following clipboard text from Corvane Server (len=%d): %.*s\n",
               static_cast<int>(length), std::min(static_cast<int>(length), kLoggedTextLimit), text.data());
    if (length < 1) return;

    if (IsMetafileText(text)) {
        std::vector<uint8_t> bits;
        if (ReadMetafileText(text, bits) == kMetafileOk) m_port.PutServerMetafile(std::move(bits));
        return;
    }
    TextConversion report;
    std::string local = WireTextToLocal(text, m_charset, kDesktopLineEnds, report);
    LogConversion(report, m_charset, "from the server");
    m_port.PutServerText(std::move(local));
}

}  // namespace corvane
