#include "config/tls_trust_setting.h"

#include <cctype>

#include "config/key_lookup.h"
#include "config/log.h"

namespace corvane {
namespace {

constexpr const char* kNames[] = {"none", "first-use", "system-ca"};

bool SameLetters(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::optional<TlsTrust> TlsTrustNamed(std::string_view name) {
    for (int trust = kTlsTrustNone; trust <= kTlsTrustSystemCa; ++trust) {
        if (SameLetters(name, kNames[trust])) return static_cast<TlsTrust>(trust);
    }
    return std::nullopt;
}

const char* TlsTrustName(int trust) {
    return trust >= kTlsTrustNone && trust <= kTlsTrustSystemCa ? kNames[trust] : "none";
}

void ReadTlsTrustSetting(const std::string& path, std::string_view section, bool absentIsDefault,
                         ClientSettings& settings) {
    KeyLookup key = LookupKey(path, section, "TlsTrust");
    if (key.status != kLookupFound) {
        if (absentIsDefault) settings.tlsTrust = kTlsTrustNone;
        return;
    }
    const std::string name = WordValue(key.line).value_or("");
    if (auto trust = TlsTrustNamed(name)) {
        settings.tlsTrust = *trust;
    } else {
        DebugPrint(0, "ERROR: TlsTrust \"%s\" in %s is not none, first-use or system-ca; ignored.\n",
                   name.c_str(), path.c_str());
    }
}

}  // namespace corvane
