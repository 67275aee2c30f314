// The table of seamless window records: one record per remote top-level window the server
// announced, in 5000 slots.
//
// An add counter goes up with every add and never down: scans look only at the slots below
// it, and once it has reached 5000 no further window can be added in this run, however many
// were removed meanwhile.
//
// Not synchronised: its owner (WindowRequests) holds one lock around every use, since records
// are looked up both by the receive thread (the server's requests) and by the user-interface
// thread (what the user does to a pop-up).
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

namespace corvane {

// One remote window (PWDATA).
struct WindowRecord {
    // Which add of the run made this record (1 to 5000). Unlike the window id, which a
    // create may take over, it never changes: the user interface names the record by it.
    uint32_t handle = 0;
    uint32_t id = 0;
    uint32_t linkedId = 0;  // 0 for none
    // The rectangle of the server's screen (and of the frame buffer) the window shows.
    int32_t x = 0;
    int32_t y = 0;
    int32_t width = 0;
    int32_t height = 0;
    bool paintSuppressed = false;  // the user drags the window on the server: keep the picture
    bool buttonHeld = false;       // a mouse button is down in the pop-up
    bool hasTitle = false;
    std::string title;
};

class WindowTable {
public:
    static constexpr int kSlots = 5000;

    // Puts the record into the first empty slot: its index, or -1 when 5000 records were
    // added in this run already or no slot is free (the record is then freed).
    int Add(std::unique_ptr<WindowRecord> record);
    // Takes the record out and frees it: its slot, -1 when it is not in the table, -2 when
    // nothing was ever added.
    int Remove(const WindowRecord* record);

    [[nodiscard]] WindowRecord* FindById(uint32_t id) const;
    [[nodiscard]] WindowRecord* FindByHandle(uint32_t handle) const;

    // How many adds succeeded in this run.
    [[nodiscard]] int Added() const { return m_added; }
    // How many records the table holds now.
    [[nodiscard]] int Count() const;

    // Calls `visit` with every record, lowest slot first.
    template <typename Visit>
    void ForEach(Visit&& visit) const {
        for (int i = 0; i < m_added; ++i) {
            if (m_slots[i]) visit(*m_slots[i]);
        }
    }

private:
    std::array<std::unique_ptr<WindowRecord>, kSlots> m_slots;
    int m_added = 0;
};

}  // namespace corvane
