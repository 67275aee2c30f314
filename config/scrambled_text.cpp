#include "config/scrambled_text.h"

#include <array>
#include <cstdint>
#include <random>
#include <utility>

#include "config/log.h"

namespace corvane {
namespace {

// Shared with every program that reads or writes connection files; this file is their only
// home. PERM[c] is the scrambled position carrying clear position c; OFFSET[c] is added to
// its byte value.
constexpr std::array<uint8_t, kMaxClearLength> kPerm = {
    11, 10, 50, 4,  26, 33, 23, 29, 8,  21, 5,  62, 56, 0,  20, 51, 30, 31, 44, 15,
    28, 61, 2,  34, 59, 41, 55, 39, 12, 42, 17, 35, 48, 24, 32, 43, 40, 27, 7,  47,
    13, 49, 19, 60, 1,  58, 45, 3,  22, 57, 25, 6,  18, 54, 46, 9,  16, 53, 14, 52,
};
constexpr std::array<uint8_t, kMaxClearLength> kOffset = {
    0, 2, 1, 1, 0, 0, 2, 0, 0, 2, 0, 2, 2, 1, 1, 2, 0, 0, 1, 0, 1, 0, 2, 2, 2, 0, 2, 2, 2, 0,
    1, 0, 0, 1, 0, 1, 1, 0, 1, 1, 1, 0, 1, 0, 2, 0, 0, 0, 1, 0, 1, 0, 2, 2, 2, 1, 2, 0, 2, 1,
};

// Scrambled positions 36..38 hold n + 53 as "%3.3d".
constexpr size_t kLengthPosition = 36;
constexpr int kLengthBias = 53;
// When n < 16, position 39 (which then carries filler) must be a lower-case letter.
constexpr size_t kLetterPosition = 39;
constexpr size_t kLetterRuleBelow = 16;
constexpr char kLetterReplacement = 'v';

// Every scrambled position except 36..38 is used exactly once by the table.
constexpr bool PermIsOneToOne() {
    std::array<bool, kScrambledLength> used{};
    for (uint8_t position : kPerm) {
        if (position >= kScrambledLength || used[position]) return false;
        if (position >= kLengthPosition && position < kLengthPosition + 3) return false;
        used[position] = true;
    }
    return true;
}
static_assert(PermIsOneToOne());

char Shift(char c, int offset) {
    return static_cast<char>(static_cast<uint8_t>(static_cast<uint8_t>(c) + offset));
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Scrambles a clear text already known to fit, with a filler of the right length.
std::string Scramble(std::string_view clear, std::string_view filler) {
    std::string scrambled(kScrambledLength, '\0');
    for (size_t c = 0; c < kMaxClearLength; ++c) {
        const char ch = c < clear.size() ? clear[c] : filler[c - clear.size()];
        scrambled[kPerm[c]] = Shift(ch, kOffset[c]);
    }
    const int field = static_cast<int>(clear.size()) + kLengthBias;
    scrambled[kLengthPosition] = static_cast<char>('0' + field / 100);
    scrambled[kLengthPosition + 1] = static_cast<char>('0' + field / 10 % 10);
    scrambled[kLengthPosition + 2] = static_cast<char>('0' + field % 10);
    const char letter = scrambled[kLetterPosition];
    if (clear.size() < kLetterRuleBelow && !(letter >= 'a' && letter <= 'z')) {
        scrambled[kLetterPosition] = kLetterReplacement;
    }
    return scrambled;
}

bool ClearTextFits(std::string_view clear, const char* operation) {
    if (clear.size() <= kMaxClearLength) return true;
    DebugPrint(0, "%s: a text of %zu characters is longer than %zu and cannot be scrambled\n",
               operation, clear.size(), kMaxClearLength);
    return false;
}

std::mt19937& RandomEngine() {
    thread_local std::mt19937 engine = [] {
        std::random_device device;
        std::seed_seq seed{device(), device(), device(), device(),
                           device(), device(), device(), device()};
        return std::mt19937(seed);
    }();
    return engine;
}

}  // namespace

int ScrambleText(std::string_view clear, std::string& scrambled) {
    if (!ClearTextFits(clear, "ScrambleText")) return -1;
    std::mt19937& engine = RandomEngine();
    std::uniform_int_distribution<size_t> pick(0, kScrambleFillerAlphabet.size() - 1);
    std::string filler(kMaxClearLength - clear.size(), '\0');
    for (char& ch : filler) ch = kScrambleFillerAlphabet[pick(engine)];
    scrambled = Scramble(clear, filler);
    return 0;
}

int ScrambleTextWithFiller(std::string_view clear, std::string_view filler,
                           std::string& scrambled) {
    if (!ClearTextFits(clear, "ScrambleTextWithFiller")) return -1;
    if (filler.size() != kMaxClearLength - clear.size()) {
        DebugPrint(0,
                   "ScrambleTextWithFiller: filler of %zu characters for a text of %zu; %zu "
                   "expected\n",
                   filler.size(), clear.size(), kMaxClearLength - clear.size());
        return -1;
    }
    scrambled = Scramble(clear, filler);
    return 0;
}

int UnscrambleText(std::string_view scrambled, std::string& clear) {
    if (scrambled.size() != kScrambledLength) {
        DebugPrint(0, "UnscrambleText: a scrambled text has %zu characters, not %zu\n",
                   scrambled.size(), kScrambledLength);
        return -1;
    }
    const std::string_view field = scrambled.substr(kLengthPosition, 3);
    int length = -1;
    if (IsDigit(field[0]) && IsDigit(field[1]) && IsDigit(field[2])) {
        length = (field[0] - '0') * 100 + (field[1] - '0') * 10 + (field[2] - '0') - kLengthBias;
    }
    if (length < 0 || length > static_cast<int>(kMaxClearLength)) {
        // The field's bytes are not logged: in a text that is not a scrambled form they may be
        // clear characters.
        DebugPrint(0, "UnscrambleText: positions 36 to 38 do not hold a length of 0 to %zu\n",
                   kMaxClearLength);
        return -1;
    }
    std::string result(static_cast<size_t>(length), '\0');
    for (size_t c = 0; c < result.size(); ++c) {
        result[c] = Shift(scrambled[kPerm[c]], -kOffset[c]);
    }
    clear = std::move(result);
    return 0;
}

}  // namespace corvane
