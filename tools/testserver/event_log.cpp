#include "tools/testserver/event_log.h"

namespace corvane::testserver {

EventLog::EventLog() = default;

bool EventLog::Open(const std::string& path) {
    std::unique_ptr<FILE, FileClose> file(std::fopen(path.c_str(), "w"));
    if (!file) return false;
    std::lock_guard lock(m_mutex);
    m_file = std::move(file);
    return true;
}

void EventLog::SetTap(std::function<void(std::string_view line)> tap) {
    std::lock_guard lock(m_mutex);
    m_tap = std::move(tap);
}

void EventLog::Write(std::string_view line) {
    std::lock_guard lock(m_mutex);
    // Before the file is written: a timer then sees the event, not the file system.
    if (m_tap) m_tap(line);
    FILE* out = m_file ? m_file.get() : stderr;
    std::fwrite(line.data(), 1, line.size(), out);
    std::fputc('\n', out);
    std::fflush(out);
}

std::string QuotedText(std::string_view text, size_t limit) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string quoted = "\"";
    for (size_t i = 0; i < text.size() && i < limit; ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        switch (byte) {
            case '"': quoted += "\\\""; break;
            case '\\': quoted += "\\\\"; break;
            case '\n': quoted += "\\n"; break;
            case '\r': quoted += "\\r"; break;
            case '\t': quoted += "\\t"; break;
            default:
                if (byte >= 0x20 && byte < 0x7F) {
                    quoted += static_cast<char>(byte);
                } else {
                    quoted += "\\x";
                    quoted += kHex[byte >> 4];
                    quoted += kHex[byte & 15];
                }
        }
    }
    quoted += '"';
    if (text.size() > limit) quoted += "...";
    return quoted;
}

}  // namespace corvane::testserver
