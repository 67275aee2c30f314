#include "crypto/secure_wipe.h"

#include <cstring>

namespace corvane {

namespace {
// Called through a volatile pointer, the compiler cannot know that it is memset and so cannot
// drop the call for a buffer that is not read again.
void* (*volatile g_memset)(void*, int, size_t) = std::memset;
}  // namespace

void SecureWipe(void* data, size_t size) {
    if (data == nullptr || size == 0) return;
    g_memset(data, 0, size);
}

void SecureWipe(std::string& text) {
    SecureWipe(text.data(), text.size());
    text.clear();
}

}  // namespace corvane
