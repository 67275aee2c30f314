#include "clipboard/clipboard_exchange.h"

#include <array>
#include <cstdint>

#include "clipboard/clipboard_messages.h"
#include "config/log.h"
#include "protocol/message_types.h"
#include "protocol/records.h"

namespace corvane {
namespace {

constexpr int kTextCompressionLevel = 6;

std::array<uint8_t, ClipboardRecordLayout::kSize> ClipboardRecord(uint32_t count, uint32_t elementSize) {
    std::array<uint8_t, ClipboardRecordLayout::kSize> record{};
    StoreField<uint32_t>(record.data(), ClipboardRecordLayout::kCount, count);
    StoreField<uint32_t>(record.data(), ClipboardRecordLayout::kElementSize, elementSize);
    return record;
}

}  // namespace

void ClipboardExchange::Activated(const std::optional<std::string>& localText) {
    if (!m_allowed()) return;
    if (localText) {
        // A clipboard manager that copies our own text back is not a change.
        const bool serverEcho = m_fromServer && m_localText && *m_localText == *localText;
        if (!serverEcho) {
            if (!m_localText || *m_localText != *localText) DebugPrint(10, "Clipboard text has changed\n");
            m_localText = *localText;
            m_fromServer = false;
        }
    }
    if (m_localText && !m_fromServer) (void)SendText(*m_localText);
}

void ClipboardExchange::Deactivated() {
    if (!m_allowed() || m_rectCopied) return;
    RequestServerText();
}

void ClipboardExchange::ServerTextPlaced(const std::string& localText) {
    m_localText = localText;
    m_fromServer = true;
}

void ClipboardExchange::RequestServerText() {
    DebugPrint(10, "Requesting clipboard text from Corvane Server\n");
    DebugPrint(10, "cbuff: %p  csize: %d\n", nullptr, 0);
    DebugPrint(10, "Sending Message type %d (CLPT) to %p\n", ZRPPROTOCOL_MH_MESSCLPT,
               reinterpret_cast<void*>(static_cast<intptr_t>(m_sender.Socket())));
    const auto record = ClipboardRecord(0, 0);
    (void)m_sender.Post(ZRPPROTOCOL_MH_MESSCLPT, record.data(), record.size());
}

void ClipboardExchange::SendLocalText() {
    if (m_localText) (void)SendText(*m_localText);
}

bool ClipboardExchange::SendText(const std::string& localText) {
    const ClipboardCharset charset = m_charset.load();
    TextConversion report;
    std::string wire = LocalTextToWire(localText, charset, report);
    LogConversion(report, charset, "to the server");
    // An empty text would read as a request for the server's text: there is nothing to send.
    if (wire.empty()) {
        DebugPrint(10, "Clipboard: the local text is empty; nothing sent\n");
        return false;
    }
    const auto size = static_cast<uint32_t>(wire.size());
    DebugPrint(10, "cbuff: %p  csize: %d\n", static_cast<const void*>(wire.data()), static_cast<int>(size));
    DebugPrint(10, "Sending Message type %d (CLPT) to %p\n", ZRPPROTOCOL_MH_MESSCLPT,
               reinterpret_cast<void*>(static_cast<intptr_t>(m_sender.Socket())));
    DebugPrint(10, "zrpsession:  CLPT Bytes in: %d ...\n", static_cast<int>(size + kRecordHeaderSize + ClipboardRecordLayout::kSize + 1));
    wire.push_back('\0');
    const auto record = ClipboardRecord(size, 1);
    return m_sender.Post(ZRPPROTOCOL_MH_MESSCLPT, record.data(), record.size(),
                         reinterpret_cast<const uint8_t*>(wire.data()), wire.size(),
                         MessageSender::Coding::Compressed, kTextCompressionLevel);
}

}  // namespace corvane
