#include "config/clipboard_settings.h"

#include <cctype>

#include "config/key_lookup.h"
#include "config/log.h"

namespace corvane {
namespace {

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

std::optional<int> ClipboardCharsetNamed(std::string_view name) {
    for (std::string_view utf8 : {"UTF-8", "UTF8"}) {
        if (SameLetters(name, utf8)) return 1;
    }
    for (std::string_view ansi : {"Windows-1252", "1252", "CP1252"}) {
        if (SameLetters(name, ansi)) return 0;
    }
    return std::nullopt;
}

void ReadClipboardSettings(const std::string& path, std::string_view section, bool absentIsDefault,
                           ClientSettings& settings) {
    KeyLookup charset = LookupKey(path, section, "ClipboardCharset");
    if (charset.status == kLookupFound) {
        const std::string name = WordValue(charset.line).value_or("");
        if (auto value = ClipboardCharsetNamed(name)) {
            settings.clipboardCharset = *value;
        } else {
            DebugPrint(0, "ERROR: ClipboardCharset \"%s\" in %s is not UTF-8 or Windows-1252; ignored.\n",
                       name.c_str(), path.c_str());
        }
    } else if (absentIsDefault) {
        settings.clipboardCharset = 0;
    }
    KeyLookup primary = LookupKey(path, section, "ClipboardPrimary");
    if (primary.status == kLookupFound) {
        if (auto value = IntValue(primary.line)) settings.clipboardPrimary = *value != 0 ? 1 : 0;
    } else if (absentIsDefault) {
        settings.clipboardPrimary = 0;
    }
}

}  // namespace corvane
