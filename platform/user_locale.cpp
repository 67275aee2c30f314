#include "platform/user_locale.h"

#include <clocale>
#include <cstdlib>
#include <string_view>

namespace corvane::platform {

int UserSublanguage() {
    std::string_view name;
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && *value != '\0') {
            name = value;
            break;
        }
    }
    if (name.substr(0, 2) != "en") return 0;
    const std::string_view rest = name.substr(2);
    if (rest.empty() || rest[0] == '.' || rest[0] == '@') return 1;
    if (rest[0] != '_') return 0;
    const std::string_view region = rest.substr(1, 2);
    if (region == "US") return 1;
    if (region == "GB") return 2;
    if (region == "AU") return 3;
    if (region == "CA") return 4;
    return 0;
}

std::string CurrentCLocaleName() {
    const char* name = std::setlocale(LC_ALL, nullptr);
    return name != nullptr ? name : "C";
}

}  // namespace corvane::platform
