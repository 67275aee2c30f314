#include "tools/testserver/session_list.h"

#include <algorithm>
#include <cstring>
#include <ctime>

#include "protocol/records.h"

namespace corvane::testserver {

namespace {

struct EntryLayout {
    static constexpr size_t kSid = 0;
    static constexpr size_t kUid = 4;
    static constexpr size_t kGid = 8;
    static constexpr size_t kPid = 12;
    static constexpr size_t kType = 16;
    static constexpr size_t kDisplay = 32;
    static constexpr size_t kPeerHost = 36;
    static constexpr size_t kPeerHostSize = 80;
    static constexpr size_t kStartTime = 120;
    static constexpr size_t kWidth = 148;
    static constexpr size_t kHeight = 152;
    static constexpr size_t kDepth = 156;
    static constexpr size_t kVisualClass = 164;
};

constexpr uint32_t kUserId = 1000;
constexpr uint32_t kSessionType = 1;
constexpr int32_t kFirstAnnouncedId = 11;
// Announced sessions started an hour apart on a fixed day, so lists are reproducible.
constexpr int64_t kAnnouncedStart = 1'700'000'000;

ServerSession Synthetic(int32_t id, const SessionGeometry& geometry) {
    ServerSession session;
    session.id = id;
    session.pid = 20'000 + id;
    session.display = id;
    session.startTime = kAnnouncedStart + int64_t{3600} * (id - kFirstAnnouncedId);
    session.geometry = geometry;
    return session;
}

}  // namespace

std::vector<uint8_t> SessionEntryBytes(const ServerSession& session, size_t entrySize) {
    std::vector<uint8_t> entry(std::max(entrySize, kSessionEntrySize), 0);
    uint8_t* e = entry.data();
    PutBE32(e + EntryLayout::kSid, static_cast<uint32_t>(session.id));
    PutBE32(e + EntryLayout::kUid, kUserId);
    PutBE32(e + EntryLayout::kGid, kUserId);
    PutBE32(e + EntryLayout::kPid, static_cast<uint32_t>(session.pid));
    PutBE32(e + EntryLayout::kType, kSessionType);
    PutBE32(e + EntryLayout::kDisplay, static_cast<uint32_t>(session.display));
    std::memcpy(e + EntryLayout::kPeerHost, session.peerHost.data(),
                std::min(session.peerHost.size(), EntryLayout::kPeerHostSize - 1));
    PutBE32(e + EntryLayout::kStartTime, static_cast<uint32_t>(session.startTime));
    PutBE32(e + EntryLayout::kWidth, static_cast<uint32_t>(session.geometry.width));
    PutBE32(e + EntryLayout::kHeight, static_cast<uint32_t>(session.geometry.height));
    PutBE32(e + EntryLayout::kDepth, static_cast<uint32_t>(session.geometry.depth));
    PutBE32(e + EntryLayout::kVisualClass, static_cast<uint32_t>(session.geometry.visualClass));
    entry.resize(entrySize);
    return entry;
}

std::vector<uint8_t> SessionListBytes(const std::vector<ServerSession>& sessions, size_t entrySize) {
    std::vector<uint8_t> bytes(kSessionListHeaderSize);
    PutBE32(bytes.data(), static_cast<uint32_t>(sessions.size()));
    PutBE32(bytes.data() + 4, static_cast<uint32_t>(entrySize));
    bytes.reserve(kSessionListHeaderSize + sessions.size() * entrySize);
    for (const ServerSession& session : sessions) {
        const std::vector<uint8_t> entry = SessionEntryBytes(session, entrySize);
        bytes.insert(bytes.end(), entry.begin(), entry.end());
    }
    return bytes;
}

int32_t SessionChoice(const uint8_t* choice) {
    return static_cast<int32_t>((uint32_t{choice[0]} << 24) | (uint32_t{choice[1]} << 16) |
                                (uint32_t{choice[2]} << 8) | choice[3]);
}

SessionStore::SessionStore(int announced, const SessionGeometry& geometry) {
    for (int i = 0; i < announced; ++i) m_disconnected.push_back(Synthetic(kFirstAnnouncedId + i, geometry));
}

std::optional<ServerSession> SessionStore::Resume(int32_t id) {
    auto found = std::find_if(m_disconnected.begin(), m_disconnected.end(),
                              [id](const ServerSession& s) { return s.id == id; });
    if (found == m_disconnected.end()) return std::nullopt;
    ServerSession session = *found;
    m_disconnected.erase(found);
    return session;
}

const ServerSession* SessionStore::Find(int32_t id) const {
    auto found = std::find_if(m_disconnected.begin(), m_disconnected.end(),
                              [id](const ServerSession& s) { return s.id == id; });
    return found == m_disconnected.end() ? nullptr : &*found;
}

ServerSession SessionStore::Create(const SessionGeometry& geometry) {
    while (Find(m_nextId) != nullptr) ++m_nextId;
    ServerSession session;
    session.id = m_nextId++;
    session.pid = 30'000 + session.id;
    session.display = session.id;
    session.startTime = static_cast<int64_t>(std::time(nullptr));
    session.geometry = geometry;
    return session;
}

void SessionStore::Disconnect(const ServerSession& session) {
    if (m_disconnected.size() >= kMaxStoredSessions) m_disconnected.erase(m_disconnected.begin());
    m_disconnected.push_back(session);
}

}  // namespace corvane::testserver
