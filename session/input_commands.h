// The user's keys and pointer to the server: each event is translated on the thread that
// handles the window's events and its record queued for the sender thread, so typing and
// pointing never wait for the network.
//
// One thread (the user-interface thread) calls in; the translators' state is their own.
#pragma once

#include <array>
#include <cstddef>

#include "input/keyboard_translator.h"
#include "input/pointer_translator.h"
#include "protocol/message_sender.h"
#include "session/hot_keys.h"
#include "session/session_state.h"

namespace corvane {

class InputCommands {
public:
    InputCommands(SessionState& state, MessageSender& sender, HotKeys& hotKeys)
        : m_state(state), m_sender(sender), m_hotKeys(hotKeys) {}

    // Translates and sends one key event; nothing is sent while the session reconnects, for a
    // hot key, in local mode (but for the Shift release that ends a hot key), or for a key the
    // server cannot take.
    void Key(const KeyInput& input);
    // The client's windows lost the keyboard to another program: the modifiers the server may
    // still think held are released (both Controls, both Alts, both Shifts).
    void ReleaseModifiers();
    // The keyboard went to another program (it became active, or grabbed the keyboard): the
    // modifiers as above, then every other key the server was told is down, whose release
    // would now reach the other program.
    void KeyboardLost();
    // Sends what a pointer event of the main window means (nothing in local mode).
    void Pointer(const PointerInput& input);
    // The server moved the pointer to this place of the main window.
    void PointerWarped(int clientX, int clientY) { m_pointer.SetWarp(clientX, clientY); }

private:
    // Whether what the user does may go to the server now.
    [[nodiscard]] bool Sending() const { return !m_state.flags.paused.load() && !m_state.flags.localMode.load(); }

    void NoteSent(const KeyInput& input);

    SessionState& m_state;
    MessageSender& m_sender;
    HotKeys& m_hotKeys;
    // The keys whose press the server got and whose release it did not, newest last; a
    // keyboard has no more keys down at once than this.
    static constexpr size_t kMaxHeldKeys = 16;
    std::array<KeyInput, kMaxHeldKeys> m_held{};
    size_t m_heldCount = 0;
    KeyboardTranslator m_translator;
    PointerTranslator m_pointer;
};

}  // namespace corvane
