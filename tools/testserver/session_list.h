// The server's sessions as the login lists them: the disconnected sessions a user may
// resume, their 384-byte entries on the wire, the list header and the client's choice.
//
// Entry layout (big-endian words): 0 SID, 4 UID, 8 GID, 12 PID, 16 TYPE, 20 AUTHCODE,
// 24 SFD, 28 HPORT, 32 display, 36 PEER host (80 bytes, zero-terminated), 116 PEER port,
// 120 start time (seconds since 1970), 124 six words, 148 width, 152 height, 156 depth,
// 160 one word, 164 visual class, 168 216 bytes carried as they are.
//
// A SessionStore is used by the one thread that serves connections; not synchronised.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace corvane::testserver {

inline constexpr size_t kSessionEntrySize = 384;
inline constexpr size_t kSessionListHeaderSize = 32;
inline constexpr size_t kSessionChoiceSize = 32;
inline constexpr int32_t kNewSessionChoice = 2;
// The most sessions the store keeps: a few more than a client accepts in one list, so that
// a list that is too long can be offered on purpose.
inline constexpr size_t kMaxStoredSessions = 60;

struct SessionGeometry {
    int32_t width = 1024;
    int32_t height = 768;
    int32_t depth = 24;
    int32_t visualClass = 4;
    friend bool operator==(const SessionGeometry&, const SessionGeometry&) = default;
};

struct ServerSession {
    int32_t id = 0;
    int32_t pid = 0;
    int32_t display = 0;
    std::string peerHost = "127.0.0.1";
    int64_t startTime = 0;
    SessionGeometry geometry;
};

// One entry, `entrySize` bytes: the 384-byte layout cut short or followed by zeros.
[[nodiscard]] std::vector<uint8_t> SessionEntryBytes(const ServerSession& session, size_t entrySize);

// The list header (count, entry size, 24 zero bytes) and one entry per session.
[[nodiscard]] std::vector<uint8_t> SessionListBytes(const std::vector<ServerSession>& sessions,
                                                    size_t entrySize);

// The session id of a 32-byte choice (its first big-endian word).
[[nodiscard]] int32_t SessionChoice(const uint8_t* choice);

class SessionStore {
  public:
    // `announced` disconnected sessions of the given geometry to begin with, ids 11, 12, ...
    SessionStore(int announced, const SessionGeometry& geometry);

    [[nodiscard]] const std::vector<ServerSession>& Disconnected() const { return m_disconnected; }

    // Takes the disconnected session with this id out of the list.
    [[nodiscard]] std::optional<ServerSession> Resume(int32_t id);
    // Finds a disconnected session without taking it.
    [[nodiscard]] const ServerSession* Find(int32_t id) const;
    // A new session with a fresh id (101, 102, ...).
    [[nodiscard]] ServerSession Create(const SessionGeometry& geometry);
    // The session's client went away without ending it: it is offered at the next login.
    // Beyond kMaxStoredSessions the oldest is forgotten.
    void Disconnect(const ServerSession& session);

  private:
    std::vector<ServerSession> m_disconnected;
    int32_t m_nextId = 101;
};

}  // namespace corvane::testserver
