#include "config/key_lookup.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "config/log.h"
#include "config/text_line_reader.h"

namespace corvane {

namespace {

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

// The C locale's white space, as scanf skips it.
bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

void SkipSpace(std::string_view& s) {
    while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
}

std::string_view TakeWord(std::string_view& s) {
    SkipSpace(s);
    size_t n = 0;
    while (n < s.size() && !IsSpace(s[n]) && s[n] != '\0') ++n;
    std::string_view word = s.substr(0, n);
    s.remove_prefix(n);
    return word;
}

// What follows the key's word.
std::string_view AfterKey(std::string_view line) {
    (void)TakeWord(line);
    return line;
}

std::optional<long long> TakeInteger(std::string_view& s, long long min, long long max) {
    SkipSpace(s);
    // A bounded copy keeps strtoll from reading past the view.
    char digits[32];
    size_t n = 0;
    while (n < s.size() && n < sizeof digits - 1 && (s[n] == '+' || s[n] == '-' ||
                                                     (s[n] >= '0' && s[n] <= '9'))) {
        digits[n] = s[n];
        ++n;
    }
    digits[n] = '\0';
    char* end = nullptr;
    errno = 0;
    long long value = std::strtoll(digits, &end, 10);
    if (end == digits || errno == ERANGE || value < min || value > max) return std::nullopt;
    s.remove_prefix(static_cast<size_t>(end - digits));
    return value;
}

}  // namespace

KeyLookup LookupKey(const std::string& path, std::string_view section, std::string_view key) {
    KeyLookup result;
    TextLineReader reader(path);
    if (!reader.IsOpen()) {
        std::fprintf(stderr, "Error opening %s for reading!!\n", path.c_str());
        result.status = kLookupNoFile;
        return result;
    }
    std::string line;
    bool inSection = false;
    while (!inSection && reader.Next(line, kKeyLineLimit)) {
        inSection = StartsWith(line, section);
    }
    if (!inSection) {
        result.status = kLookupNoSection;
        return result;
    }
    result.status = kLookupNoKey;
    while (reader.Next(line, kKeyLineLimit)) {
        if (StartsWith(line, "[")) break;
        if (!StartsWith(line, key)) continue;
        result.status = kLookupFound;
        result.line = line;
        if (reader.Next(line, kKeyLineLimit) && StartsWith(line, "!")) result.annotation = line;
        break;
    }
    return result;
}

std::optional<int> IntValue(std::string_view line) {
    std::string_view rest = AfterKey(line);
    auto value = TakeInteger(rest, std::numeric_limits<int>::min(), std::numeric_limits<int>::max());
    if (!value) return std::nullopt;
    return static_cast<int>(*value);
}

std::optional<int64_t> Int64Value(std::string_view line) {
    std::string_view rest = AfterKey(line);
    auto value = TakeInteger(rest, std::numeric_limits<int64_t>::min(),
                             std::numeric_limits<int64_t>::max());
    if (!value) return std::nullopt;
    return static_cast<int64_t>(*value);
}

std::optional<std::array<int, 4>> FourIntValues(std::string_view line) {
    std::string_view rest = AfterKey(line);
    std::array<int, 4> values{};
    for (int& v : values) {
        auto value =
            TakeInteger(rest, std::numeric_limits<int>::min(), std::numeric_limits<int>::max());
        if (!value) return std::nullopt;
        v = static_cast<int>(*value);
    }
    return values;
}

std::optional<std::string> WordValue(std::string_view line) {
    std::string_view rest = AfterKey(line);
    std::string_view word = TakeWord(rest);
    if (word.empty()) return std::nullopt;
    return std::string(word);
}

void ReadWordValue(std::string_view line, const char* key, const std::string& path,
                   std::string& target) {
    auto value = WordValue(line);
    if (!value) return;
    if (value->size() > kWordValueLimit) {
        DebugPrint(0, "ERROR: %s in %s is longer than %zu characters; ignored.\n", key, path.c_str(),
                   kWordValueLimit);
        return;
    }
    target = *value;
}

std::string RestOfLineValue(std::string_view line) {
    std::string_view rest = AfterKey(line);
    while (!rest.empty() && (rest.front() == ' ' || rest.front() == '\t')) rest.remove_prefix(1);
    while (!rest.empty() && (rest.back() == '\n' || rest.back() == '\r')) rest.remove_suffix(1);
    return std::string(rest);
}

}  // namespace corvane
