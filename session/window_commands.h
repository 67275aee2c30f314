// What the windows of a running session may read from it and ask of it (SessionCommands):
// the facts published after each login, the figures, and the menu's and exit dialog's
// requests. Nothing here waits for the network: requests go out through the sender thread,
// and the half second the server gets to act on Exit or Disconnect passes on a thread of its
// own.
//
// Facts and the settings snapshot are published by the session thread and the receive
// thread's reconnection (Publish) and read by the windows, whole, under a lock.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "clipboard/clipboard_exchange.h"
#include "display/display_messages.h"
#include "display/frame_buffer.h"
#include "protocol/message_channel.h"
#include "session/input_commands.h"
#include "session/quit_signal.h"
#include "session/session_commands.h"
#include "session/session_control.h"
#include "session/session_state.h"
#include "seamless/window_requests.h"

namespace corvane {

// The client's version as its windows and log show it.
inline constexpr const char* kVersionText = "Version: 9.0.0.0";

class WindowCommands : public SessionCommands {
public:
    struct Parts {
        SessionState& state;
        MessageChannel& channel;
        DisplayMessages& display;
        FrameBuffer& frameBuffer;
        SessionControl& control;
        InputCommands& input;
        QuitSignal& quit;
        ClipboardExchange* clipboard = nullptr;  // none: the session exchanges no clipboard
    };
    WindowCommands(Parts parts, std::function<void()> shutDown);
    ~WindowCommands() override;

    // Takes a snapshot of the session state for the windows. The thread that writes the state.
    void Publish();
    // Waits for the exit dialog's request to finish (the client is ending).
    void Join();
    // The seamless window requests the pop-ups report to. Set before the windows exist.
    void AttachSeamless(WindowRequests* requests) { m_seamless = requests; }

    // SessionCommands.
    [[nodiscard]] SessionFacts Facts() const override;
    [[nodiscard]] RateSummary Throughput(bool reset) override;
    [[nodiscard]] int64_t ServerTime() const override;
    [[nodiscard]] bool TakeInputSent() override { return m_parts.state.flags.inputSent.exchange(false); }
    [[nodiscard]] bool TakeMessageReceived() override { return m_parts.state.flags.messageReceived.exchange(false); }
    void ExitSession() override;
    void DisconnectSession() override;
    void ShutDown() override { m_shutDown(); }
    void SetDecoderThreadLimit(int limit) override;
    void KeyEvent(const KeyInput& input) override { m_parts.input.Key(input); }
    void PointerEvent(const PointerInput& input) override { m_parts.input.Pointer(input); }
    void KeyboardLost() override { m_parts.input.KeyboardLost(); }
    void PointerWarped(int clientX, int clientY) override { m_parts.input.PointerWarped(clientX, clientY); }
    bool ToggleKeyMapMode() override;
    void ClipboardActivated(const std::optional<std::string>& localText) override {
        if (m_parts.clipboard != nullptr) m_parts.clipboard->Activated(localText);
    }
    void ClipboardDeactivated() override {
        if (m_parts.clipboard != nullptr) m_parts.clipboard->Deactivated();
    }
    void ClipboardPlaced(const std::string& localText) override {
        if (m_parts.clipboard != nullptr) m_parts.clipboard->ServerTextPlaced(localText);
    }
    void RectangleCopied() override {
        if (m_parts.clipboard != nullptr) m_parts.clipboard->RectangleCopied();
    }
    [[nodiscard]] bool SaveConnectionFile(const std::string& path, bool fullScreenShown) override;
    void SeamlessButtonHeld(uint32_t handle, bool held) override {
        if (m_seamless != nullptr) m_seamless->ButtonHeld(handle, held);
    }
    void SeamlessRestored(uint32_t handle) override {
        if (m_seamless != nullptr) m_seamless->Restored(handle);
    }
    void SeamlessCloseRequested(uint32_t handle) override {
        if (m_seamless != nullptr) m_seamless->CloseRequested(handle);
    }

private:
    // Ends the client once the server has had time to act on the exit dialog's request.
    void EndAfterRequest(bool exitRequest);

    Parts m_parts;
    std::function<void()> m_shutDown;
    WindowRequests* m_seamless = nullptr;

    mutable std::mutex m_mutex;
    SessionFacts m_facts;                                      // under m_mutex
    std::shared_ptr<const ClientSettings> m_settings;          // under m_mutex
    std::thread m_requestThread;                               // under m_mutex
};

}  // namespace corvane
