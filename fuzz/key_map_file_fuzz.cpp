// Arbitrary bytes as a key-map file; then every entry loaded must be found again.
#include "fuzz_io.h"
#include "fuzz_support.h"
#include "input/key_map.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    corvane::fuzz::QuietLog();
    corvane::KeyMap map;
    if (!map.ReadKeyMapFile(corvane::fuzz::ScratchFile("keymap", data, size))) return 0;
    if (map.Count() < 0 || map.Count() > corvane::kMaxKeyMapEntries) __builtin_trap();
    for (const corvane::KeyMapEntry& entry : map.Entries()) {
        if (!map.Lookup(entry.scanCode, entry.extended)) __builtin_trap();
    }
    return 0;
}
