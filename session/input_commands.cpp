#include "session/input_commands.h"

#include <algorithm>

#include "config/log.h"
#include "protocol/message_types.h"

namespace corvane {

void InputCommands::Key(const KeyInput& input) {
    // A reconnection is logging in on the socket: what the user does meanwhile is not sent.
    if (m_state.flags.paused.load()) return;
    DebugPrint(51, "\n**Original Key %s \"%c\" ShiftState=%d CapsState=%d CtrlState=%d AltState=%d\n",
               input.press ? "Press" : "Release", input.virtualKey, input.shift ? 1 : 0, input.capsLock ? 1 : 0,
               input.control ? 1 : 0, input.alt ? 1 : 0);
    const std::optional<KeyOutput> output = m_translator.Translate(input, m_state.keyMap);
    if (!output) return;
    if (m_hotKeys.Process(output->keyCode, input)) return;
    DebugPrint(51, m_state.keyMap.UseKeyMap() ? "zRP Virtual Key (from KeyMapFile): %0x\n" : "zRP Virtual Key  %0x\n",
               output->keyCode);
    const bool sendOnce = m_hotKeys.TakeSendNextKey();
    if (sendOnce || !m_state.flags.localMode.load()) {
        DebugPrint(51, "----> Sending keystroke: %d\n", output->keyCode);
        const auto record = KeyRecord(*output);
        if (m_sender.Post(ZRPPROTOCOL_MH_MESSKEYE, record.data(), record.size(), nullptr, 0,
                          MessageSender::Coding::KeyRecord)) {
            m_state.flags.inputSent.store(true);
            NoteSent(input);
        }
    }
    // What a hot key asked for may take the focus: only now that the server has the Shift.
    if (GenericModifier(output->virtualKey) == kVkShift) m_hotKeys.RunPendingActions();
}

void InputCommands::ReleaseModifiers() {
    // Only where the server exchanges the clipboard and the session is the user's own.
    if (!m_state.flags.clipboardSync.load() || m_state.collaborationFlag != 0) return;
    struct Release {
        uint8_t virtualKey;
        uint8_t scanCode;
        bool extended;
    };
    constexpr Release kReleases[] = {
        {kVkControl, 0x1D, false}, {kVkControl, 0x1D, true}, {kVkAlt, 0x38, false},
        {kVkAlt, 0x38, true},      {kVkShift, 0x2A, false},  {kVkShift, 0x36, false},
    };
    for (const Release& release : kReleases) {
        KeyInput input;
        input.virtualKey = release.virtualKey;
        input.scanCode = release.scanCode;
        input.extended = release.extended;
        input.press = false;
        Key(input);
    }
}

void InputCommands::NoteSent(const KeyInput& input) {
    const auto end = m_held.begin() + static_cast<std::ptrdiff_t>(m_heldCount);
    const auto found = std::find_if(m_held.begin(), end, [&input](const KeyInput& held) {
        return held.scanCode == input.scanCode && held.extended == input.extended;
    });
    if (input.press) {
        // An auto-repeated press is the same key still down.
        if (found == end && m_heldCount < kMaxHeldKeys) m_held[m_heldCount++] = input;
    } else if (found != end) {
        std::move(found + 1, end, found);
        --m_heldCount;
    }
}

void InputCommands::KeyboardLost() {
    ReleaseModifiers();
    // Taken out first: a release that is not sent (local mode) must not keep its key listed.
    const std::array<KeyInput, kMaxHeldKeys> held = m_held;
    const size_t count = m_heldCount;
    m_heldCount = 0;
    for (size_t i = count; i-- > 0;) {
        KeyInput release = held[i];
        release.press = false;
        release.shift = release.control = release.alt = false;
        Key(release);
    }
}

void InputCommands::Pointer(const PointerInput& input) {
    const PointerRecords records = m_pointer.Translate(input);
    if (records.count == 0 || !Sending()) return;
    for (int i = 0; i < records.count; ++i) {
        const PointerOutput& output = records.items[i];
        DebugPrint(59, "Mouse Event: %d, %d  Btn: %d %d\n", output.x, output.y, output.button, output.action);
        DebugPrint(10, "zRPpmPutMMseE:  Message type: %d\n", ZRPPROTOCOL_MH_MESSMSEE);
        const auto record = PointerRecord(output);
        if (m_sender.Post(ZRPPROTOCOL_MH_MESSMSEE, record.data(), record.size())) m_state.flags.inputSent.store(true);
    }
}

}  // namespace corvane
