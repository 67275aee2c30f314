// What a login produces and a reconnection replaces: the settings as the login left them,
// the init record, the server's versions, the session's ids and caption, and the flags by
// which the session's threads tell each other what to do.
//
// Owned by the application object and shared by reference with the login, the receive loop,
// session control and the window commands. One thread writes the plain fields at a time: the
// session thread until the receive thread starts, then the receive thread's reconnection.
// The windows never read them here: they read the facts the window commands publish. The
// flags are atomics (any thread); the caption has a lock of its own.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <ctime>
#include <mutex>
#include <string>

#include "config/client_settings.h"
#include "config/env_block.h"
#include "input/key_map.h"
#include "protocol/info_block.h"
#include "protocol/records.h"
#include "session/session_table.h"

namespace corvane {

struct SessionFlags {
    std::atomic<bool> exit{false};          // the session ends; never cleared once set
    std::atomic<bool> shuttingDown{false};  // the shut-down routine has run
    std::atomic<bool> paused{false};        // a reconnection is logging in again
    std::atomic<bool> autoReconnect{false}; // the server allows one reconnection
    std::atomic<bool> delayedExit{false};   // the server ends the session itself after Exit
    std::atomic<bool> localMode{false};     // keys and pointer stay local
    std::atomic<bool> remotePointer{true};  // the server's cursor shapes and pointer moves are taken
    std::atomic<int> reverseCursorColor{1}; // the colouring of the server's cursors (the setting, then the hot key)
    std::atomic<bool> clipboardSync{true};
    std::atomic<bool> inputSent{false};
    std::atomic<bool> messageReceived{false};
};

struct SessionState {
    ClientSettings settings;
    EnvBlock env;
    KeyMap keyMap;
    bool siteDefaults = false;  // the site file was missing: built-in defaults apply

    std::array<uint8_t, kInitRecordSize> minit{};  // host order
    InfoBlock info;
    SessionTable sessions;
    int32_t sessionId = 0;          // m_iSessionID
    int32_t collaborationFlag = 0;  // non-zero: joined by number
    int protocolVersion = 100;
    int serverVersion = 300;
    std::time_t connectedAt = 0;

    SessionFlags flags;

    [[nodiscard]] std::string Caption() const {
        std::lock_guard lock(m_captionMutex);
        return m_caption;
    }
    void SetCaption(std::string caption) {
        std::lock_guard lock(m_captionMutex);
        m_caption = std::move(caption);
    }

private:
    mutable std::mutex m_captionMutex;
    std::string m_caption;
};

}  // namespace corvane
