#include "protocol/message_router.h"

#include "config/error_box.h"
#include "config/log.h"
#include "protocol/records.h"

namespace corvane {

void MessageRouter::Register(uint16_t type, size_t minimumRecordBytes, MessageHandler handler) {
    for (Entry& route : m_routes) {
        if (route.type == type) {
            route = Entry{type, minimumRecordBytes, std::move(handler)};
            return;
        }
    }
    m_routes.push_back(Entry{type, minimumRecordBytes, std::move(handler)});
}

const MessageRouter::Entry* MessageRouter::Find(uint16_t type) const {
    for (const Entry& route : m_routes) {
        if (route.type == type) return &route;
    }
    return nullptr;
}

int MessageRouter::Route(MessageFrame& frame) const {
    DebugPrint(15, "Message type: %d  size: %d  stat: %d  fs_mode: %d\n", frame.type,
               static_cast<int>(LoadField<uint32_t>(frame.header, RecordHeaderLayout::kSize)),
               static_cast<int>(LoadField<uint32_t>(frame.header, RecordHeaderLayout::kStatus)),
               m_fullScreen ? 1 : 0);
    const Entry* route = Find(frame.type);
    if (route == nullptr) {
        DebugPrint(0, "ProcessMessage() Error: Unknown message %d!\n", frame.type);
        // The read that brought the message succeeded, so no socket error is pending; errno
        // may hold a stale code from some unrelated call.
        ReportSocketErrorCode("ProcessMessage() Error: ", 0);
        return -1;
    }
    if (frame.recordBytes < route->minimumRecordBytes) {
        DebugPrint(0, "ProcessMessage(): message type %d holds %zu record bytes, needs %zu: ignored\n",
                   frame.type, frame.recordBytes, route->minimumRecordBytes);
        return 0;
    }
    RecordToHost(frame.record, frame.type, frame.recordBytes);
    route->handler(frame);
    return 0;
}

}  // namespace corvane
