#include "input/pointer_translator.h"

#include <cstdlib>

namespace corvane {

void PointerTranslator::SetWarp(int clientX, int clientY) {
    m_haveWarp = true;
    m_warpX = clientX;
    m_warpY = clientY;
}

PointerRecords PointerTranslator::Translate(const PointerInput& input) {
    PointerRecords records;
    // Pop-ups are many windows over one screen: their places compare on the screen.
    const int placeX = input.frameIsScreen ? input.screenX : input.clientX;
    const int placeY = input.frameIsScreen ? input.screenY : input.clientY;
    if (input.kind == PointerKind::Move) {
        // The same position again is no movement.
        if (m_haveLast && placeX == m_lastX && placeY == m_lastY) return records;
        m_haveLast = true;
        m_lastX = placeX;
        m_lastY = placeY;
    }
    // The event a server-made move brings, at the place it moved to, is its echo.
    if (m_haveWarp && placeX == m_warpX && placeY == m_warpY) return records;
    m_haveWarp = false;

    PointerOutput base;
    base.x = input.frameIsScreen ? input.screenX : input.clientX + input.scrollX;
    base.y = input.frameIsScreen ? input.screenY : input.clientY + input.scrollY;
    base.screenX = input.screenX;
    base.screenY = input.screenY;
    switch (input.kind) {
        case PointerKind::Move:
            records.items[records.count++] = base;
            break;
        case PointerKind::Press:
        case PointerKind::Release:
            base.button = input.button;
            base.action = input.kind == PointerKind::Press ? 1 : 2;
            records.items[records.count++] = base;
            break;
        case PointerKind::Wheel: {
            // High-resolution wheels report parts of a notch; the server counts whole ones.
            m_wheelRemainder += input.wheelDelta;
            while (std::abs(m_wheelRemainder) >= kWheelNotch && records.count + 2 <= PointerRecords::kMost) {
                const bool away = m_wheelRemainder > 0;
                m_wheelRemainder += away ? -kWheelNotch : kWheelNotch;
                base.button = away ? kWheelAway : kWheelToward;
                base.action = 1;
                records.items[records.count++] = base;
                base.action = 2;
                records.items[records.count++] = base;
            }
            break;
        }
    }
    return records;
}

std::array<uint8_t, kPointerRecordSize> PointerRecord(const PointerOutput& output) {
    std::array<uint8_t, kPointerRecordSize> record{};
    StoreField<int32_t>(record.data(), InputRecordLayout::kX, output.x);
    StoreField<int32_t>(record.data(), InputRecordLayout::kY, output.y);
    StoreField<int32_t>(record.data(), InputRecordLayout::kScreenX, output.screenX);
    StoreField<int32_t>(record.data(), InputRecordLayout::kScreenY, output.screenY);
    StoreField<uint32_t>(record.data(), InputRecordLayout::kButton, output.button);
    StoreField<uint16_t>(record.data(), InputRecordLayout::kKind, output.action);
    return record;
}

}  // namespace corvane
