// The seamless window requests: the server's create, destroy, move, map and unmap of its
// top-level windows, acted on through the window table and the seamless port; and the
// client's own requests (the user restored or closed a pop-up) back to the server.
//
// Handle() runs on the receive thread; the pop-up calls (ButtonHeld, Restored,
// CloseRequested) come from the user-interface thread. One lock guards the table across both.
// Outgoing requests are handed to `send`, which queues them and returns at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string_view>

#include "seamless/seamless_port.h"
#include "seamless/window_table.h"

namespace corvane {

// Request codes of the windowing record.
enum WindowRequestCode : uint32_t {
    kWindowCreate = 7001,   // create, or show again
    kWindowDestroy = 7002,  // server: destroy; client: the user asked to close it
    kWindowMove = 7007,     // move and resize
    kWindowMap = 7010,      // server: show; client: the user restored it
    kWindowUnmap = 7011,    // minimise
};

// The fields of a windowing record the handler reads.
struct WindowRequest {
    uint32_t code = 0;
    uint32_t id = 0;
    int32_t x = 0;
    int32_t y = 0;
    int32_t width = 0;
    int32_t height = 0;
    uint32_t linkedId = 0;
};

// The windowing record: 64 bytes, words 0 to 7 in network order; the linked id at 32 travels
// little-endian, unconverted; the text of a create follows at 64.
struct WindowRecordLayout {
    static constexpr size_t kTextLength = 0;  // u32
    static constexpr size_t kCode = 4;        // u32
    static constexpr size_t kId = 8;          // u32
    static constexpr size_t kX = 16;          // s32
    static constexpr size_t kY = 20;          // s32
    static constexpr size_t kWidth = 24;      // s32
    static constexpr size_t kHeight = 28;     // s32
    static constexpr size_t kLinkedId = 32;   // u32, little-endian
    static constexpr size_t kText = 64;
    static constexpr size_t kSize = 64;
};

// Sends one windowing record (64 bytes, host order but for the little-endian linked id);
// false when it could not be queued.
using WindowRecordSend = std::function<bool(const uint8_t* record, size_t size)>;

class WindowRequests {
public:
    WindowRequests(SeamlessPort& port, WindowRecordSend send) : m_port(port), m_send(std::move(send)) {}

    // Acts on one request from the server (`title`: the create's text). 0 when the code is
    // one the client knows (acted on or ignored), -1 when it is not.
    int Handle(const WindowRequest& request, std::string_view title);

    // The pop-up's mouse buttons: `held` when the first goes down, not when the last comes
    // up (which also ends a paint freeze). User-interface thread.
    void ButtonHeld(uint32_t handle, bool held);
    // The user restored the pop-up from minimised: the server is told (linked windows only).
    void Restored(uint32_t handle);
    // The user asked to close the pop-up: the server is asked to (linked windows only; the
    // window stays until the server destroys it).
    void CloseRequested(uint32_t handle);

    // A copy of the record with this window id; for tests and the log.
    [[nodiscard]] std::optional<WindowRecord> Find(uint32_t id) const;
    [[nodiscard]] int Count() const;
    [[nodiscard]] int Added() const;

private:
    void Create(const WindowRequest& request, std::string_view title);
    void Destroy(const WindowRequest& request);
    void Move(const WindowRequest& request);
    // Sends a request with this code for the record's ids; the lock is held.
    void Send(uint32_t code, const WindowRecord& record);
    [[nodiscard]] static SeamlessWindow Shown(const WindowRecord& record);

    SeamlessPort& m_port;
    WindowRecordSend m_send;
    mutable std::mutex m_mutex;
    WindowTable m_table;  // under m_mutex
};

// The 64-byte record the client sends for `code` (host order, linked id little-endian).
void MakeWindowRecord(uint8_t* record, uint32_t code, uint32_t id, uint32_t linkedId);

// The request in a windowing record in host order (the router has converted words 0 to 7).
[[nodiscard]] WindowRequest ReadWindowRequest(const uint8_t* record);

}  // namespace corvane
