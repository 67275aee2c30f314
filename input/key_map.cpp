#include "input/key_map.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "config/log.h"
#include "config/text_line_reader.h"
#include "input/builtin_key_maps.h"

namespace corvane {
namespace {

// Key map files have always been read 124 characters at a time; the rest of a longer line
// comes as the next piece and counts as a line of its own.
constexpr size_t kKeyMapLineLimit = 125;

// Reads the three numbers of an entry line the way "%d%d%d" reads them: white space before
// each is skipped, the first field that is not a number ends the reading and it and the
// fields after it stay 0, and whatever follows the third number is ignored. A number beyond
// 32 bits is treated as no number at all, so a typo cannot become a huge key code.
KeyMapEntry ParseEntry(const std::string& piece, const std::string& path, int lineNumber) {
    int32_t fields[3] = {0, 0, 0};
    const char* p = piece.c_str();  // a NUL byte ends the line, as it always did
    for (int32_t& field : fields) {
        char* end = nullptr;
        errno = 0;
        const long long value = std::strtoll(p, &end, 10);
        if (end == p) break;
        if (errno == ERANGE || value < std::numeric_limits<int32_t>::min() ||
            value > std::numeric_limits<int32_t>::max()) {
            DebugPrint(0,
                       "Error: number out of range in KeyMapFile \"%s\" (line %d); it and the "
                       "rest of the line read as 0.\n",
                       path.c_str(), lineNumber);
            break;
        }
        field = static_cast<int32_t>(value);
        p = end;
    }
    return {fields[0], static_cast<uint8_t>(fields[1]), fields[2]};
}

}  // namespace

bool KeyMap::ReadKeyMapFile(const std::string& path) {
    TextLineReader reader(path);
    if (!reader.IsOpen()) {
        m_bUseKeyMap = false;
        DebugPrint(0, "Error opening KeyMapFile \"%s\" file for reading.\n", path.c_str());
        DebugPrint(0, "      %s\n", std::strerror(reader.OpenError()));
        return false;
    }

    m_keyMapCount = 0;
    std::string piece;
    int lineNumber = 0;
    while (m_keyMapCount < kMaxKeyMapEntries) {
        ++lineNumber;
        if (!reader.Next(piece, kKeyMapLineLimit)) {
            // The reader stops right at the failing read, so errno still holds its cause.
            const int readError = errno;
            if (reader.Failed()) {
                m_bUseKeyMap = false;
                m_keyMapCount = 0;
                DebugPrint(0, "Error reading KeyMapFile \"%s\" file (line %d).\n", path.c_str(),
                           lineNumber);
                DebugPrint(0, "      %s\n", std::strerror(readError));
                return false;
            }
            DebugPrint(1, "DEBUG: Hit EOF on KeyMapFile\n");
            break;
        }
        if (piece[0] == '!') continue;

        const KeyMapEntry entry = ParseEntry(piece, path, lineNumber);
        m_keyMap[static_cast<size_t>(m_keyMapCount++)] = entry;
        DebugPrint(1, "DEBUG ReadKeyMapFile(): win: %d  X11: %d\n", entry.scanCode, entry.keyCode);
    }

    DebugPrint(1, "Number of keymap entries in file: %d\n", m_keyMapCount);
    return true;
}

bool KeyMap::LoadInternalKeyMap(int number) {
    m_keyMapCount = 0;
    const std::span<const BuiltinKeyRow> rows = BuiltinKeyMap(number);
    if (rows.empty()) return false;

    for (const BuiltinKeyRow& row : rows) {
        if (row.scanCode == kBuiltinKeyMapEnd || m_keyMapCount >= kMaxKeyMapEntries) break;
        m_keyMap[static_cast<size_t>(m_keyMapCount++)] = {row.scanCode, row.extended, row.keyCode};
        DebugPrint(1, "DEBUG LoadInternalKeyMap(): win: %d  X11: %d\n", row.scanCode, row.keyCode);
    }
    m_bUseKeyMap = true;
    return true;
}

std::optional<int32_t> KeyMap::Lookup(int32_t scanCode, uint8_t extended) const {
    const auto entries = Entries();
    const auto it = std::find_if(entries.begin(), entries.end(), [&](const KeyMapEntry& e) {
        return e.scanCode == scanCode && e.extended == extended;
    });
    if (it == entries.end()) return std::nullopt;
    return it->keyCode;
}

}  // namespace corvane
