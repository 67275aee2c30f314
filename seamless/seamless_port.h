// What the seamless capability asks of the user interface: one local pop-up window per
// remote window, named by the record's handle.
//
// Called on the receive thread, in the order the server's requests came; every call returns
// at once (the windowed client posts it to the user-interface thread, which owns the
// windows). Nothing here waits for a window to exist.
#pragma once

#include <cstdint>
#include <string>

namespace corvane {

// A remote window as the pop-up shows it.
struct SeamlessWindow {
    uint32_t handle = 0;  // the record's handle: fixed for the window's life
    uint32_t id = 0;
    uint32_t linkedId = 0;  // not 0: the window has a task-bar entry and the user may close it
    int32_t x = 0;          // the server's screen, which the local screen shares
    int32_t y = 0;
    int32_t width = 0;
    int32_t height = 0;
    std::string title;
};

// A position the server leaves to the client: the pop-up is centred on the primary screen.
inline constexpr int32_t kCentredPosition = -29999;

enum class PopupShow {
    Restore,   // back from minimised and brought forward (a create for a known window)
    Normal,    // shown as it is (map)
    Minimise,  // unmap
};

class SeamlessPort {
public:
    virtual ~SeamlessPort() = default;

    // A new window: shown at once when the seamless view is up.
    virtual void CreatePopup(const SeamlessWindow& window) = 0;
    // The window took over another id (and with it a new linked id and place).
    virtual void RetakePopup(const SeamlessWindow& window) = 0;
    // New place and size. `freeze`: the user drags the window on the server; its picture stays
    // as it is until the button is let go.
    virtual void MovePopup(uint32_t handle, int32_t x, int32_t y, int32_t width, int32_t height, bool freeze) = 0;
    virtual void ShowPopup(uint32_t handle, PopupShow how) = 0;
    virtual void DestroyPopup(uint32_t handle) = 0;
};

}  // namespace corvane
