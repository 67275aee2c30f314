// The user's disconnected sessions, as the server lists them at login, and the choice among
// them.
//
// Plain data: filled by the login on its thread and read by the Session Control dialog.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

namespace corvane {

inline constexpr int kMaxDisconnectedSessions = 50;
inline constexpr size_t kSessionEntrySize = 384;
inline constexpr size_t kSessionListHeaderSize = 32;
inline constexpr size_t kSessionChoiceSize = 32;
// The session id that asks for a new session.
inline constexpr int32_t kNewSessionId = 2;

struct SessionEntry {
    int32_t sid = 0;
    int32_t pid = 0;
    int32_t display = 0;
    std::string peerHost;
    int64_t startTime = 0;
    int32_t width = 0;
    int32_t height = 0;
    int32_t depth = 0;
    int32_t visualClass = 0;
};

class SessionTable {
public:
    // Reads `count` entries of kSessionEntrySize bytes in wire order. The caller has checked
    // that count is at most kMaxDisconnectedSessions.
    void Parse(const uint8_t* entries, int count);

    [[nodiscard]] const std::vector<SessionEntry>& Entries() const { return m_entries; }
    [[nodiscard]] int Count() const { return static_cast<int>(m_entries.size()); }
    // The entry with this session id, or nullptr.
    [[nodiscard]] const SessionEntry* Find(int32_t sid) const;

private:
    std::vector<SessionEntry> m_entries;
};

// The Session Control dialog's line for an entry (without the "New Session" line).
[[nodiscard]] std::string SessionLine(const SessionEntry& entry);

// "Wed Jun 30 09:14:01 AM": asctime's first 19 characters with a 12-hour clock.
[[nodiscard]] std::string SessionStartTimeText(int64_t startTime);

// A 32-byte session choice in wire order.
[[nodiscard]] std::array<uint8_t, kSessionChoiceSize> SessionChoiceRecord(int32_t sessionId);

// What an unattended dialog chooses: "last" the last listed session (a new one when none
// is listed), "new" a new session, or a session id.
[[nodiscard]] int32_t UnattendedSessionChoice(const std::string& choice, const SessionTable& sessions);

}  // namespace corvane
