#include "session/session_table.h"

#include <arpa/inet.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "protocol/records.h"

namespace corvane {

namespace {

// Entry field offsets.
constexpr size_t kSid = 0;
constexpr size_t kPid = 12;
constexpr size_t kDisplay = 32;
constexpr size_t kPeerHost = 36;
constexpr size_t kPeerHostSize = 80;
constexpr size_t kStartTime = 120;
constexpr size_t kWidth = 148;
constexpr size_t kHeight = 152;
constexpr size_t kDepth = 156;
constexpr size_t kVisualClass = 164;

int32_t Word(const uint8_t* entry, size_t offset) {
    return static_cast<int32_t>(ntohl(LoadField<uint32_t>(entry, offset)));
}

}  // namespace

void SessionTable::Parse(const uint8_t* entries, int count) {
    m_entries.clear();
    for (int i = 0; i < count; ++i) {
        const uint8_t* e = entries + static_cast<size_t>(i) * kSessionEntrySize;
        SessionEntry entry;
        entry.sid = Word(e, kSid);
        entry.pid = Word(e, kPid);
        entry.display = Word(e, kDisplay);
        entry.peerHost.assign(reinterpret_cast<const char*>(e + kPeerHost),
                              strnlen(reinterpret_cast<const char*>(e + kPeerHost), kPeerHostSize));
        entry.startTime = static_cast<uint32_t>(Word(e, kStartTime));
        entry.width = Word(e, kWidth);
        entry.height = Word(e, kHeight);
        entry.depth = Word(e, kDepth);
        entry.visualClass = Word(e, kVisualClass);
        m_entries.push_back(std::move(entry));
    }
}

const SessionEntry* SessionTable::Find(int32_t sid) const {
    for (const SessionEntry& e : m_entries) {
        if (e.sid == sid) return &e;
    }
    return nullptr;
}

std::string SessionStartTimeText(int64_t startTime) {
    std::time_t t = static_cast<std::time_t>(startTime);
    std::tm local{};
    localtime_r(&t, &local);
    bool pm = local.tm_hour >= 13;
    int hour = local.tm_hour == 0 ? 12 : (pm ? local.tm_hour - 12 : local.tm_hour);
    local.tm_hour = hour;
    // asctime's layout, "Www Mmm dd hh:mm:ss", with its English names whatever the locale
    // (a windowed client runs under the user's).
    char text[32];
    if (asctime_r(&local, text) == nullptr) return "";
    return std::string(text, 19) + (pm ? " PM" : " AM");
}

std::string SessionLine(const SessionEntry& e) {
    char line[256];
    std::string start = SessionStartTimeText(e.startTime);
    if (e.depth == 124) {
        std::snprintf(line, sizeof line, "Session I.D. %d\tDisplay :%d  %dx%dx8/24\tStart time: %s", e.sid,
                      e.display, e.width, e.height, start.c_str());
    } else if (e.depth == 224) {
        std::snprintf(line, sizeof line, "Session I.D. %d\tDisplay :%d  %dx%dx16/24\tStart time: %s", e.sid,
                      e.display, e.width, e.height, start.c_str());
    } else {
        std::snprintf(line, sizeof line, "Session I.D. %d\tDisplay :%d  %dx%dx%d\tStart time: %s", e.sid,
                      e.display, e.width, e.height, e.depth, start.c_str());
    }
    return line;
}

std::array<uint8_t, kSessionChoiceSize> SessionChoiceRecord(int32_t sessionId) {
    std::array<uint8_t, kSessionChoiceSize> record{};
    StoreField<uint32_t>(record.data(), 0, htonl(static_cast<uint32_t>(sessionId)));
    return record;
}

int32_t UnattendedSessionChoice(const std::string& choice, const SessionTable& sessions) {
    if (choice == "new") return kNewSessionId;
    if (choice == "last" || choice.empty()) {
        return sessions.Count() > 0 ? sessions.Entries().back().sid : kNewSessionId;
    }
    return static_cast<int32_t>(std::strtol(choice.c_str(), nullptr, 10));
}

}  // namespace corvane
