#include "tools/testserver/client_messages.h"

#include <cstdio>
#include <cstring>

#include <zlib.h>

#include "crypto/payload_cipher.h"
#include "crypto/payload_key.h"
#include "protocol/records.h"
#include "seamless/window_requests.h"
#include "tools/testserver/event_log.h"

namespace corvane::testserver {

namespace {

constexpr size_t kClipboardRecordSize = 8;
constexpr int kKeyCipherBlock = 32;

using InputLayout = InputRecordLayout;

std::string Kind(uint16_t kind, bool pointer) {
    switch (kind) {
        case 0: return pointer ? "motion" : "0";
        case 1: return "press";
        case 2: return "release";
        default: return std::to_string(kind);
    }
}

std::string Number(uint32_t value) { return std::to_string(value); }
std::string Signed(const uint8_t* record, size_t offset) {
    return std::to_string(LoadField<int32_t>(record, offset));
}

std::string Malformed(int type, size_t length) {
    return "message type=" + std::to_string(type) + " len=" + std::to_string(length) + " malformed";
}

std::string Key(const uint8_t* wire, std::string_view serverCode, ClientEvent& event) {
    uint8_t record[kKeyRecordSize];
    std::memcpy(record, wire, sizeof record);
    (void)DecipherBlocks(record, sizeof record, kKeyCipherBlock, BuildPayloadKey(serverCode));  // one whole block
    RecordToHost(record, ZRPPROTOCOL_MH_MESSKEYE, sizeof record);
    const uint16_t kind = LoadField<uint16_t>(record, InputLayout::kKind);
    if (kind == 1 || kind == 2) {
        event.key = KeyInput{LoadField<uint32_t>(record, InputLayout::kKeyCode),
                             LoadField<uint32_t>(record, InputLayout::kModifiers), kind == 1};
    }
    return "key code=" + Number(LoadField<uint32_t>(record, InputLayout::kKeyCode)) +
           " flags=" + Number(LoadField<uint32_t>(record, InputLayout::kModifiers)) +
           " kind=" + Kind(LoadField<uint16_t>(record, InputLayout::kKind), false);
}

std::string Pointer(const uint8_t* wire, ClientEvent& event) {
    uint8_t record[kPointerRecordSize];
    std::memcpy(record, wire, sizeof record);
    RecordToHost(record, ZRPPROTOCOL_MH_MESSMSEE, sizeof record);
    event.pointer = PointerInput{LoadField<int32_t>(record, InputLayout::kX), LoadField<int32_t>(record, InputLayout::kY),
                                 LoadField<uint32_t>(record, InputLayout::kButton),
                                 LoadField<uint16_t>(record, InputLayout::kKind)};
    return "pointer x=" + Signed(record, InputLayout::kX) + " y=" + Signed(record, InputLayout::kY) +
           " screen-x=" + Signed(record, InputLayout::kScreenX) + " screen-y=" + Signed(record, InputLayout::kScreenY) +
           " button=" + Number(LoadField<uint32_t>(record, InputLayout::kButton)) +
           " action=" + Kind(LoadField<uint16_t>(record, InputLayout::kKind), true);
}

constexpr size_t kShownClipboardText = 1024;

std::string Clipboard(const uint8_t* body, size_t length, ClientEvent& event) {
    uint8_t record[kClipboardRecordSize];
    std::memcpy(record, body + kRecordHeaderSize, sizeof record);
    RecordToHost(record, ZRPPROTOCOL_MH_MESSCLPT, sizeof record);
    const uint64_t count = LoadField<uint32_t>(record, 0);
    const uint64_t elementSize = LoadField<uint32_t>(record, 4);
    const uint64_t bytes = count * elementSize;  // two 32-bit factors: no overflow
    if (bytes == 0) {
        event.clipboardRequest = true;
        return "clipboard request";
    }
    const size_t textStart = kRecordHeaderSize + kClipboardRecordSize;
    if (bytes > length - textStart) {
        return "clipboard len=" + std::to_string(bytes) + " malformed";
    }
    const std::string_view text(reinterpret_cast<const char*>(body + textStart), static_cast<size_t>(bytes));
    event.clipboardText = true;
    event.text = text;
    std::string line = "clipboard len=" + std::to_string(bytes) + " text=" + QuotedText(text, kShownClipboardText);
    if (text.size() > kShownClipboardText) {
        char crc[24];
        std::snprintf(crc, sizeof crc, " crc32=%08lx",
                      crc32(0, reinterpret_cast<const Bytef*>(text.data()), static_cast<uInt>(text.size())));
        line += crc;
    }
    return line;
}

std::string Window(const uint8_t* wire, ClientEvent& event) {
    uint8_t record[WindowRecordLayout::kSize];
    std::memcpy(record, wire, sizeof record);
    RecordToHost(record, ZRPPROTOCOL_MH_MESSWIND, sizeof record);
    const WindowRequest request = ReadWindowRequest(record);
    event.window = WindowInput{request.code, request.id, request.linkedId};
    return "window code=" + Number(request.code) + " id=" + Number(request.id) + " linked=" + Number(request.linkedId) +
           " x=" + Signed(record, 16) + " y=" + Signed(record, 20) + " width=" + Signed(record, 24) +
           " height=" + Signed(record, 28);
}

}  // namespace

ClientEvent DescribeClientMessage(const uint8_t* body, size_t length, std::string_view serverCode) {
    ClientEvent event;
    if (length < kRecordHeaderSize) {
        event.line = "message len=" + std::to_string(length) + " malformed";
        return event;
    }
    const int type = LoadField<uint16_t>(body, RecordHeaderLayout::kType);
    const uint8_t* record = body + kRecordHeaderSize;
    const size_t available = length - kRecordHeaderSize;
    auto needs = [&](size_t size) { return available >= size; };

    switch (type) {
        case ZRPPROTOCOL_MH_MESSKEYE:
            event.line = needs(kKeyRecordSize) ? Key(record, serverCode, event) : Malformed(type, length);
            break;
        case ZRPPROTOCOL_MH_MESSMSEE:
            event.line = needs(kPointerRecordSize) ? Pointer(record, event) : Malformed(type, length);
            break;
        case ZRPPROTOCOL_MH_MESSSCTL: {
            if (!needs(kSessionControlRecordSize)) {
                event.line = Malformed(type, length);
                break;
            }
            uint8_t copy[kSessionControlRecordSize];
            std::memcpy(copy, record, sizeof copy);
            RecordToHost(copy, type, sizeof copy);
            event.sessionControlCode = LoadField<uint32_t>(copy, 0);
            event.line = "sctl code=" + Number(event.sessionControlCode) + " arg=" + Number(LoadField<uint32_t>(copy, 4)) +
                         " arg2=" + Number(LoadField<uint32_t>(copy, 8));
            break;
        }
        case ZRPPROTOCOL_MH_MESSCLPT:
            event.line = needs(kClipboardRecordSize) ? Clipboard(body, length, event) : Malformed(type, length);
            break;
        case ZRPPROTOCOL_MH_MESSWIND:
            event.line = needs(WindowRecordLayout::kSize) ? Window(record, event) : Malformed(type, length);
            break;
        case ZRPPROTOCOL_MH_MESSBELL:
            // The channel puts a bell in place of a frame whose body it could not decode.
            event.line = "message undecodable";
            break;
        default:
            event.line = "message type=" + std::to_string(type) + " len=" + std::to_string(length);
    }
    return event;
}

}  // namespace corvane::testserver
