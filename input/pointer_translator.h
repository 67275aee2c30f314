// The pointer rules: motion, buttons and the wheel of a window become pointer records in
// frame-buffer coordinates, with the echo of a server-made move suppressed.
//
// One translator per window, used on the thread that handles that window's events; not
// synchronised.
#pragma once

#include <array>
#include <cstdint>

#include "protocol/records.h"

namespace corvane {

enum class PointerKind { Move, Press, Release, Wheel };

// Buttons of the record: 1 left, 2 middle, 3 right; the wheel is 4 away from the user, 5
// toward the user.
inline constexpr uint32_t kWheelAway = 4;
inline constexpr uint32_t kWheelToward = 5;
// One notch of a wheel, in the toolkit's angle units (eighths of a degree).
inline constexpr int kWheelNotch = 120;

struct PointerInput {
    PointerKind kind = PointerKind::Move;
    uint32_t button = 0;      // Press, Release: 1, 2 or 3
    int wheelDelta = 0;       // Wheel: the vertical angle delta, positive away from the user
    int clientX = 0;          // in the window
    int clientY = 0;
    int screenX = 0;          // on the local screen
    int screenY = 0;
    int scrollX = 0;          // the window's scroll offsets
    int scrollY = 0;
    // A seamless pop-up: the server's screen and the local one share coordinates, so the
    // frame-buffer place is the screen place, and a warp names a screen place too.
    bool frameIsScreen = false;
};

struct PointerOutput {
    int32_t x = 0;  // frame buffer
    int32_t y = 0;
    int32_t screenX = 0;
    int32_t screenY = 0;
    uint32_t button = 0;
    uint16_t action = 0;  // 0 motion, 1 press, 2 release
};

// What one event sends: nothing, one record, or press and release pairs for wheel notches.
struct PointerRecords {
    static constexpr int kMost = 8;
    std::array<PointerOutput, kMost> items{};
    int count = 0;
};

class PointerTranslator {
public:
    [[nodiscard]] PointerRecords Translate(const PointerInput& input);

    // The server moved the pointer to this window position: the event the move brings is
    // not sent back.
    void SetWarp(int clientX, int clientY);

private:
    bool m_haveLast = false;
    int m_lastX = 0;
    int m_lastY = 0;
    bool m_haveWarp = false;
    int m_warpX = 0;
    int m_warpY = 0;
    int m_wheelRemainder = 0;  // angle not yet a whole notch
};

// The 32-byte pointer record in host order.
[[nodiscard]] std::array<uint8_t, kPointerRecordSize> PointerRecord(const PointerOutput& output);

}  // namespace corvane
