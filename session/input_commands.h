// The user's keys to the server: each key event is translated on the thread that handles the
// focused window's events and its record queued for the sender thread, so typing never waits
// for the network.
//
// One thread (the user-interface thread) calls Key; the translator's state is its own.
#pragma once

#include "input/keyboard_translator.h"
#include "protocol/message_sender.h"
#include "session/session_state.h"

namespace corvane {

class InputCommands {
public:
    InputCommands(SessionState& state, MessageSender& sender) : m_state(state), m_sender(sender) {}

    // Translates and sends one key event; nothing is sent while the session reconnects, in
    // local mode, or for a key the server cannot take.
    void Key(const KeyInput& input);

private:
    SessionState& m_state;
    MessageSender& m_sender;
    KeyboardTranslator m_translator;
};

}  // namespace corvane
