#include "seamless/window_requests.h"

#include <cstring>
#include <new>

#include "config/error_box.h"
#include "config/log.h"
#include "protocol/records.h"

namespace corvane {

void MakeWindowRecord(uint8_t* record, uint32_t code, uint32_t id, uint32_t linkedId) {
    std::memset(record, 0, WindowRecordLayout::kSize);
    StoreField<uint32_t>(record, WindowRecordLayout::kCode, code);
    StoreField<uint32_t>(record, WindowRecordLayout::kId, id);
    uint8_t* linked = record + WindowRecordLayout::kLinkedId;
    for (int i = 0; i < 4; ++i) linked[i] = static_cast<uint8_t>(linkedId >> (8 * i));
}

WindowRequest ReadWindowRequest(const uint8_t* record) {
    WindowRequest request;
    request.code = LoadField<uint32_t>(record, WindowRecordLayout::kCode);
    request.id = LoadField<uint32_t>(record, WindowRecordLayout::kId);
    request.x = LoadField<int32_t>(record, WindowRecordLayout::kX);
    request.y = LoadField<int32_t>(record, WindowRecordLayout::kY);
    request.width = LoadField<int32_t>(record, WindowRecordLayout::kWidth);
    request.height = LoadField<int32_t>(record, WindowRecordLayout::kHeight);
    const uint8_t* linked = record + WindowRecordLayout::kLinkedId;
    request.linkedId = uint32_t{linked[0]} | (uint32_t{linked[1]} << 8) | (uint32_t{linked[2]} << 16) |
                       (uint32_t{linked[3]} << 24);
    return request;
}

SeamlessWindow WindowRequests::Shown(const WindowRecord& record) {
    return {record.handle, record.id, record.linkedId, record.x, record.y, record.width, record.height, record.title};
}

int WindowRequests::Handle(const WindowRequest& request, std::string_view title) {
    switch (request.code) {
        case kWindowCreate:
            Create(request, title);
            return 0;
        case kWindowDestroy:
            Destroy(request);
            return 0;
        case kWindowMove:
            Move(request);
            return 0;
        case kWindowMap:
        case kWindowUnmap: {
            std::lock_guard lock(m_mutex);
            const WindowRecord* record = m_table.FindById(request.id);
            if (record == nullptr) return 0;
            const bool map = request.code == kWindowMap;
            DebugPrint(58, map ? "Map window req id %d: %d x %d @ %d, %d\n" : "Unmap window req id %d: %d x %d @ %d, %d\n",
                       request.id, request.width, request.height, request.x, request.y);
            m_port.ShowPopup(record->handle, map ? PopupShow::Normal : PopupShow::Minimise);
            return 0;
        }
        case 7003:
        case 7004:
        case 7005:
        case 7006:
        case 7008:
        case 7009:
            return 0;  // known, and nothing for a client to do
        default:
            DebugPrint(10, "Windowing request %u not handled\n", request.code);
            return -1;
    }
}

void WindowRequests::Create(const WindowRequest& request, std::string_view title) {
    std::lock_guard lock(m_mutex);
    if (WindowRecord* known = m_table.FindById(request.id)) {
        // Shown again where it is: the request's geometry is not taken.
        DebugPrint(58, "Remap existing window req id %d: %d x %d @ %d, %d\n", request.id, request.width, request.height,
                   request.x, request.y);
        m_port.ShowPopup(known->handle, PopupShow::Restore);
        return;
    }
    // The server replaces a window by a new one naming it: the pop-up stays and takes the
    // new id. A linked id of 0 names no window.
    if (request.linkedId != 0) {
        if (WindowRecord* replaced = m_table.FindById(request.linkedId)) {
            replaced->id = request.id;
            replaced->linkedId = request.linkedId;
            replaced->x = request.x;
            replaced->y = request.y;
            replaced->width = request.width;
            replaced->height = request.height;
            m_port.RetakePopup(Shown(*replaced));
            m_port.ShowPopup(replaced->handle, PopupShow::Restore);
            return;
        }
    }
    std::unique_ptr<WindowRecord> record(new (std::nothrow) WindowRecord);
    if (!record) {
        ShowErrorBox("ERROR", "ERROR: Could not allocate memory!");
        return;
    }
    DebugPrint(58, "Allocated %d bytes at %p\n", static_cast<int>(sizeof(WindowRecord)),
               static_cast<const void*>(record.get()));
    record->id = request.id;
    record->linkedId = request.linkedId;
    record->x = request.x;
    record->y = request.y;
    record->width = request.width;
    record->height = request.height;
    record->hasTitle = !title.empty();
    record->title = std::string(title);
    record->handle = static_cast<uint32_t>(m_table.Added() + 1);
    DebugPrint(58, "Create  window req id %d: %d x %d @ %d, %d\n", request.id, request.width, request.height, request.x,
               request.y);
    const WindowRecord* added = record.get();
    const SeamlessWindow shown = Shown(*record);
    if (m_table.Add(std::move(record)) < 0) {
        ShowErrorBox("ERROR", "ERROR: No more windows allowed.");
        return;
    }
    // The pop-up is made on the user-interface thread; the request does not wait for it.
    DebugPrint(58, "Request create new window thread\n");
    m_port.CreatePopup(shown);
    DebugPrint(58, "Returned thread handle: %p\n", static_cast<const void*>(added));
}

void WindowRequests::Destroy(const WindowRequest& request) {
    std::lock_guard lock(m_mutex);
    const WindowRecord* record = m_table.FindById(request.id);
    if (record == nullptr) return;
    DebugPrint(58, "Destroy window req id %d: %d x %d @ %d, %d\n", request.id, request.width, request.height, request.x,
               request.y);
    m_port.DestroyPopup(record->handle);
    (void)m_table.Remove(record);  // found above: it is in the table
}

void WindowRequests::Move(const WindowRequest& request) {
    std::lock_guard lock(m_mutex);
    WindowRecord* record = m_table.FindById(request.id);
    if (record == nullptr) return;
    // A move of the same size while the user holds a button in the window is the user
    // dragging it on the server: the pictures on the way are not shown.
    if (record->buttonHeld && request.width == record->width && request.height == record->height) {
        record->paintSuppressed = true;
    }
    record->width = request.width;
    record->height = request.height;
    record->x = request.x;
    record->y = request.y;
    m_port.MovePopup(record->handle, record->x, record->y, record->width, record->height, record->paintSuppressed);
    DebugPrint(58, "Resize/Move to %d x %d @ %d, %d\n", record->width, record->height, record->x, record->y);
}

void WindowRequests::ButtonHeld(uint32_t handle, bool held) {
    std::lock_guard lock(m_mutex);
    WindowRecord* record = m_table.FindByHandle(handle);
    if (record == nullptr) return;
    record->buttonHeld = held;
    if (!held) record->paintSuppressed = false;
}

void WindowRequests::Restored(uint32_t handle) {
    std::lock_guard lock(m_mutex);
    const WindowRecord* record = m_table.FindByHandle(handle);
    if (record != nullptr && record->linkedId != 0) Send(kWindowMap, *record);
}

void WindowRequests::CloseRequested(uint32_t handle) {
    std::lock_guard lock(m_mutex);
    const WindowRecord* record = m_table.FindByHandle(handle);
    // A window that links to nothing cannot be closed by the user.
    if (record != nullptr && record->linkedId != 0) Send(kWindowDestroy, *record);
}

void WindowRequests::Send(uint32_t code, const WindowRecord& record) {
    uint8_t bytes[WindowRecordLayout::kSize];
    MakeWindowRecord(bytes, code, record.id, record.linkedId);
    if (m_send && m_send(bytes, sizeof bytes)) DebugPrint(10, "Wrote Wind msg\n");
}

std::optional<WindowRecord> WindowRequests::Find(uint32_t id) const {
    std::lock_guard lock(m_mutex);
    const WindowRecord* record = m_table.FindById(id);
    if (record == nullptr) return std::nullopt;
    return *record;
}

int WindowRequests::Count() const {
    std::lock_guard lock(m_mutex);
    return m_table.Count();
}

int WindowRequests::Added() const {
    std::lock_guard lock(m_mutex);
    return m_table.Added();
}

}  // namespace corvane
