// Wiping secrets from memory once they have been used.
//
// A plain memset of a buffer that is about to die may be removed by the optimiser as a dead
// store; these calls are never removed. Any thread.
#pragma once

#include <cstddef>
#include <string>

namespace corvane {

// Overwrites `size` bytes at `data` with zeros.
void SecureWipe(void* data, size_t size);

// Overwrites the text's bytes with zeros, then empties it.
void SecureWipe(std::string& text);

// Wipes a buffer when the scope ends, however it ends.
class WipeOnExit {
public:
    WipeOnExit(void* data, size_t size) : m_data(data), m_size(size) {}
    ~WipeOnExit() { SecureWipe(m_data, m_size); }
    WipeOnExit(const WipeOnExit&) = delete;
    WipeOnExit& operator=(const WipeOnExit&) = delete;

private:
    void* m_data;
    size_t m_size;
};

}  // namespace corvane
