// Arbitrary bytes as a file with an [EnvVars] section, read into the environment block; what
// the block then holds must be what the server takes: at most 511 characters of
// "NAME=value" lines with names of letters and digits.
#include <algorithm>
#include <string_view>

#include "config/env_block.h"
#include "fuzz_io.h"
#include "fuzz_support.h"

namespace {

bool Alphanumeric(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    corvane::fuzz::QuietLog();
    corvane::EnvBlock env;
    env.ReadDefinitions(corvane::fuzz::ScratchFile("env.ini", data, size));
    const std::string& text = env.Text();
    if (text.size() > corvane::kMaxEnvBlockLength) __builtin_trap();
    std::string_view rest = text;
    while (!rest.empty()) {
        const std::string_view line = rest.substr(0, rest.find('\n'));
        rest.remove_prefix(std::min(rest.size(), line.size() + 1));
        const size_t equals = line.find('=');
        if (equals == std::string_view::npos || line.find('\r') != std::string_view::npos)
            __builtin_trap();
        for (char c : line.substr(0, equals)) {
            if (!Alphanumeric(c)) __builtin_trap();
        }
    }
    return 0;
}
