#include "config/status_mailbox.h"

namespace corvane {

void StatusMailbox::Post(int32_t code, std::string_view text, bool quiet) {
    std::lock_guard lock(m_mutex);
    m_last.text.assign(text.substr(0, kStatusTextLimit));
    m_last.code = code;
    m_last.quiet = quiet;
    m_pending = code != 0;
}

std::optional<StatusMessage> StatusMailbox::Take() {
    std::lock_guard lock(m_mutex);
    if (!m_pending) return std::nullopt;
    m_pending = false;
    return m_last;
}

StatusMessage StatusMailbox::Last() const {
    std::lock_guard lock(m_mutex);
    return m_last;
}

}  // namespace corvane
