#include "config/stored_secrets.h"

#include "config/key_lookup.h"
#include "config/scrambled_text.h"
#include "crypto/secure_wipe.h"

namespace corvane {

namespace {
constexpr size_t kClearServerCodeLimit = 16;
}

std::string ScrambledOrWordValue(std::string_view line) {
    std::string rest = RestOfLineValue(line);
    if (rest.size() >= kScrambledLength) return rest.substr(0, kScrambledLength);
    return WordValue(line).value_or("");
}

std::optional<std::string> ClearServerCode(const std::string& stored) {
    if (stored.size() <= kClearServerCodeLimit) return stored;
    std::string clear;
    if (UnscrambleText(stored, clear) != 0) return std::nullopt;
    return clear;
}

bool IsStoredPassword(const std::string& stored) {
    if (stored.empty()) return true;
    std::string clear;
    const bool valid = UnscrambleText(stored, clear) == 0;
    SecureWipe(clear);  // only its validity was wanted
    return valid;
}

}  // namespace corvane
