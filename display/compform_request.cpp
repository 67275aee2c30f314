#include "display/compform_request.h"

#include "config/log.h"
#include "display/compform_table.h"

namespace corvane {

int CompformRequest::LastIndex() const {
    return m_serverVersion >= kVersionWithFrameFormats ? kLastIndexFrom940 : kLastIndexBefore940;
}

int CompformRequest::Increment() {
    // An index from the site file beyond what this server takes comes back to its last one.
    m_index = m_index < LastIndex() ? m_index + 1 : LastIndex();
    DebugPrint(10, "(incr) compform = %d\n", m_index);
    return m_index;
}

int CompformRequest::Decrement() {
    m_index = m_index > 0 ? m_index - 1 : 0;
    DebugPrint(10, "(decr) compform = %d\n", m_index);
    return m_index;
}

int CompformRequest::RequestedValue() const { return CompformAtIndex(m_index); }

const char* CompformRequest::RequestedName() const {
    if (m_index >= 0 && m_index <= LastIndex()) return kCompforms[static_cast<size_t>(m_index)].name;
    DebugPrint(0, "WARNING: Unknown compform: %d\n", m_index);
    return "UN";
}

std::string CompformRequest::RequestTitle(const std::string& baseTitle) const {
    return baseTitle + "  (Req CF " + RequestedName() + ")";
}

}  // namespace corvane
