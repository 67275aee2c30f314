#include "seamless/window_table.h"

#include "config/log.h"

namespace corvane {

int WindowTable::Add(std::unique_ptr<WindowRecord> record) {
    if (m_added >= kSlots) return -1;
    // A slot a removed record left free is taken again, but the count of adds still grows.
    for (int i = 0; i < kSlots; ++i) {
        if (m_slots[i]) continue;
        DebugPrint(10, "ADD: pData: %p\n", static_cast<const void*>(record.get()));
        DebugPrint(10, "PWDATA[%i]: %p\n", i, static_cast<const void*>(record.get()));
        m_slots[i] = std::move(record);
        ++m_added;
        return i;
    }
    return -1;
}

int WindowTable::Remove(const WindowRecord* record) {
    DebugPrint(10, "REMOVE: pData: %p\n", static_cast<const void*>(record));
    if (m_added == 0) return -2;
    for (int i = 0; i < m_added; ++i) {
        if (m_slots[i].get() != record) continue;
        DebugPrint(10, "Removing PWDATA[%i]: %p\n", i, static_cast<const void*>(record));
        m_slots[i].reset();
        return i;
    }
    return -1;
}

WindowRecord* WindowTable::FindById(uint32_t id) const {
    for (int i = 0; i < m_added; ++i) {
        if (m_slots[i] && m_slots[i]->id == id) return m_slots[i].get();
    }
    return nullptr;
}

WindowRecord* WindowTable::FindByHandle(uint32_t handle) const {
    for (int i = 0; i < m_added; ++i) {
        if (m_slots[i] && m_slots[i]->handle == handle) return m_slots[i].get();
    }
    return nullptr;
}

int WindowTable::Count() const {
    int count = 0;
    for (int i = 0; i < m_added; ++i) count += m_slots[i] ? 1 : 0;
    return count;
}

}  // namespace corvane
