// The key map of key-map mode: scan code and extended flag straight to a server key code.
//
// The map owns its entries (at most 512, in load order) and the key-map mode flag
// bUseKeyMap. It is loaded once at start-up, before the main window exists, from a key map
// file or from a built-in map; after that the keyboard translation reads it and the hot key
// toggles the mode, both on the UI thread. Nothing here is synchronised: one thread at a time.
//
// Loading reports success as a bool for the caller's information; the entries and the mode
// flag already tell what was loaded, so the start-up code may ignore it.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace corvane {

struct KeyMapEntry {
    int32_t scanCode = 0;
    uint8_t extended = 0;  // only the low 8 bits of the number read are kept and compared
    int32_t keyCode = 0;

    bool operator==(const KeyMapEntry&) const = default;
};

inline constexpr int kMaxKeyMapEntries = 512;

class KeyMap {
  public:
    // Loads a key map file: one entry "scan extended keycode" per line, lines beginning with
    // "!" are comments. True when the file was read to its end or to 512 entries; key-map
    // mode is left as it was. False when it cannot be opened or read: key-map mode is off.
    bool ReadKeyMapFile(const std::string& path);

    // Loads built-in map 1 or 2 and turns key-map mode on. Any other number empties the map,
    // leaves the mode as it was and returns false.
    bool LoadInternalKeyMap(int number);

    // The key code of the first entry, in load order, with this scan code and extended flag.
    [[nodiscard]] std::optional<int32_t> Lookup(int32_t scanCode, uint8_t extended) const;

    [[nodiscard]] bool UseKeyMap() const { return m_bUseKeyMap; }
    void SetUseKeyMap(bool on) { m_bUseKeyMap = on; }

    [[nodiscard]] int Count() const { return m_keyMapCount; }
    [[nodiscard]] std::span<const KeyMapEntry> Entries() const {
        return {m_keyMap.data(), static_cast<size_t>(m_keyMapCount)};
    }

  private:
    std::array<KeyMapEntry, kMaxKeyMapEntries> m_keyMap{};
    int m_keyMapCount = 0;
    bool m_bUseKeyMap = false;
};

}  // namespace corvane
