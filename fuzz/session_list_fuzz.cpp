// The entries of the server's list of disconnected sessions (384 bytes each, wire order, as
// many whole entries as the input holds up to the 50 the login accepts), then what the
// Session Control dialog and an unattended choice make of them. Whatever follows the last
// whole entry is the choice an unattended client was given.
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "session/session_table.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    corvane::fuzz::QuietLog();
    size_t count = size / corvane::kSessionEntrySize;
    if (count > static_cast<size_t>(corvane::kMaxDisconnectedSessions)) {
        count = corvane::kMaxDisconnectedSessions;
    }
    const size_t listed = count * corvane::kSessionEntrySize;
    // A copy of exactly the entries, so that a read past them is caught.
    const std::vector<uint8_t> entries(data, data + listed);
    const std::string choice(reinterpret_cast<const char*>(data + listed), size - listed);

    corvane::SessionTable table;
    table.Parse(entries.data(), static_cast<int>(count));
    if (table.Count() != static_cast<int>(count)) __builtin_trap();
    size_t characters = 0;
    for (const corvane::SessionEntry& entry : table.Entries()) {
        characters += corvane::SessionLine(entry).size();
        if (table.Find(entry.sid) == nullptr) __builtin_trap();
    }
    for (const std::string& asked : {std::string("last"), std::string("new"), choice}) {
        characters += static_cast<size_t>(corvane::UnattendedSessionChoice(asked, table) & 1);
    }
    volatile size_t sink = characters;
    (void)sink;
    return 0;
}
