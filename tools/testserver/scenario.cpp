#include "tools/testserver/scenario.h"

#include <algorithm>
#include <charconv>
#include <cstdint>

namespace corvane::testserver {

namespace {

// Bounds what a scenario may ask for: a day of milliseconds, a million updates.
constexpr int64_t kMaxFrames = 1'000'000;
constexpr int64_t kMaxMilliseconds = 86'400'000;

std::vector<std::string_view> Words(std::string_view line) {
    std::vector<std::string_view> words;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
        const size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') ++i;
        if (i > start) words.push_back(line.substr(start, i - start));
    }
    return words;
}

// A decimal number of 0 to `max`, nothing else in the word.
bool ReadNumber(std::string_view word, int64_t max, int64_t& value) {
    const char* end = word.data() + word.size();
    auto [rest, error] = std::from_chars(word.data(), end, value);
    return error == std::errc() && rest == end && value >= 0 && value <= max;
}

struct ActionName {
    std::string_view name;
    ScenarioAction action;
};

constexpr ActionName kActions[] = {
    {"sctl", ScenarioAction::SessionControl},
    {"drop", ScenarioAction::Drop},
    {"bad-frame-size-12", ScenarioAction::BadFrameSize12},
    {"bell", ScenarioAction::Bell},
    {"corrupt-compext", ScenarioAction::CorruptCompext},
    {"colour-table", ScenarioAction::ColourTable},
    {"stop-updates", ScenarioAction::StopUpdates},
    {"warp", ScenarioAction::Warp},
    {"clipboard-text", ScenarioAction::ClipboardText},
    {"clipboard-set", ScenarioAction::ClipboardSet},
    {"clipboard-file", ScenarioAction::ClipboardFile},
    {"clipboard-set-file", ScenarioAction::ClipboardSetFile},
    {"clipboard-metafile", ScenarioAction::ClipboardMetafile},
    {"window-create", ScenarioAction::WindowCreate},
    {"window-move", ScenarioAction::WindowMove},
    {"window-map", ScenarioAction::WindowMap},
    {"window-unmap", ScenarioAction::WindowUnmap},
    {"window-destroy", ScenarioAction::WindowDestroy},
    {"update", ScenarioAction::Update},
    {"half-frame", ScenarioAction::HalfFrame},
};

bool TakesRestOfLine(ScenarioAction action) {
    return action == ScenarioAction::ClipboardText || action == ScenarioAction::ClipboardSet ||
           action == ScenarioAction::ClipboardFile || action == ScenarioAction::ClipboardSetFile ||
           action == ScenarioAction::ClipboardMetafile;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The text with its escapes undone; false on an escape that is not one.
bool Unescape(std::string_view text, std::string& out) {
    out.clear();
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out += text[i];
            continue;
        }
        if (++i == text.size()) return false;
        switch (text[i]) {
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case 't': out += '\t'; break;
            case '\\': out += '\\'; break;
            case 'x': {
                if (i + 2 >= text.size()) return false;
                const int high = HexValue(text[i + 1]);
                const int low = HexValue(text[i + 2]);
                if (high < 0 || low < 0) return false;
                out += static_cast<char>(high << 4 | low);
                i += 2;
                break;
            }
            default: return false;
        }
    }
    return true;
}

// A signed decimal number from `min` to `max`, nothing else in the word.
bool ReadSigned(std::string_view word, int64_t min, int64_t max, int64_t& value) {
    const char* end = word.data() + word.size();
    auto [rest, error] = std::from_chars(word.data(), end, value);
    return error == std::errc() && rest == end && value >= min && value <= max;
}

// The numbers of a window request: an id, and for create and move a place and size, and for
// create a linked id and a title.
std::string ParseWindow(const std::vector<std::string_view>& words, ScenarioStep& step) {
    const size_t arguments = words.size() - 3;
    const bool placed = step.action == ScenarioAction::WindowCreate || step.action == ScenarioAction::WindowMove;
    const size_t least = placed ? 5 : 1;
    const size_t most = step.action == ScenarioAction::WindowCreate ? 7 : least;
    if (arguments < least || arguments > most) {
        return std::string(words[2]) + (placed ? " takes ID X Y W H" : " takes an ID") +
               (step.action == ScenarioAction::WindowCreate ? " [LINKED [TITLE]]" : "");
    }
    const size_t numbers = std::min<size_t>(arguments, 6);
    for (size_t i = 0; i < numbers; ++i) {
        int64_t value = 0;
        const bool signedPlace = i == 1 || i == 2;
        if (!ReadSigned(words[3 + i], signedPlace ? INT32_MIN : 0, i == 0 || i == 5 ? UINT32_MAX : INT32_MAX, value)) {
            return "\"" + std::string(words[3 + i]) + "\" is not a window number";
        }
        step.numbers.push_back(value);
    }
    if (arguments == 7) step.title = std::string(words[9]);
    return {};
}

// Fills `step` from the words of one line; the text of the error otherwise.
std::string ParseStep(std::string_view line, const std::vector<std::string_view>& words, ScenarioStep& step) {
    if (words.size() < 3) return "expected \"after-frames N ACTION\" or \"after-ms N ACTION\"";
    int64_t max = 0;
    if (words[0] == "after-frames") {
        step.trigger = ScenarioTrigger::AfterFrames;
        max = kMaxFrames;
    } else if (words[0] == "after-ms") {
        step.trigger = ScenarioTrigger::AfterMs;
        max = kMaxMilliseconds;
    } else {
        return "unknown trigger \"" + std::string(words[0]) + "\"";
    }
    if (!ReadNumber(words[1], max, step.when)) {
        return "\"" + std::string(words[1]) + "\" is not a number from 0 to " + std::to_string(max);
    }
    const ActionName* found = nullptr;
    for (const ActionName& candidate : kActions) {
        if (candidate.name == words[2]) found = &candidate;
    }
    if (found == nullptr) return "unknown action \"" + std::string(words[2]) + "\"";
    step.action = found->action;

    const size_t arguments = words.size() - 3;
    if (TakesRestOfLine(step.action)) {
        // The text is the rest of the line after one blank, blanks and all.
        const size_t end = static_cast<size_t>(words[2].data() + words[2].size() - line.data());
        std::string_view rest = line.substr(std::min(end + 1, line.size()));
        if (!rest.empty() && rest.back() == '\r') rest.remove_suffix(1);
        if (arguments == 0) return std::string(found->name) + " takes a text or a path";
        if (!Unescape(rest, step.text)) return "bad escape in \"" + std::string(rest) + "\"";
        return {};
    }
    switch (step.action) {
        case ScenarioAction::WindowCreate:
        case ScenarioAction::WindowMove:
        case ScenarioAction::WindowMap:
        case ScenarioAction::WindowUnmap:
        case ScenarioAction::WindowDestroy:
            return ParseWindow(words, step);
        case ScenarioAction::Update:
            if (arguments != 4) return "update takes X Y W H";
            for (size_t i = 0; i < 4; ++i) {
                int64_t value = 0;
                if (!ReadNumber(words[3 + i], INT32_MAX, value)) return "update takes X Y W H";
                step.numbers.push_back(value);
            }
            return {};
        default:
            break;
    }
    if (step.action == ScenarioAction::Warp) {
        int64_t x = 0;
        int64_t y = 0;
        if (arguments != 2 || !ReadNumber(words[3], INT32_MAX, x) || !ReadNumber(words[4], INT32_MAX, y)) {
            return "warp takes an x and a y";
        }
        step.code = static_cast<uint32_t>(x);
        step.argument = static_cast<uint32_t>(y);
        return {};
    }
    if (step.action != ScenarioAction::SessionControl) {
        if (arguments != 0) return std::string(found->name) + " takes no argument";
        return {};
    }
    if (arguments < 1 || arguments > 2) return "sctl takes a code and an optional argument";
    int64_t code = 0;
    int64_t argument = 0;
    if (!ReadNumber(words[3], UINT32_MAX, code)) return "bad session-control code";
    if (arguments == 2 && !ReadNumber(words[4], UINT32_MAX, argument)) {
        return "bad session-control argument";
    }
    step.code = static_cast<uint32_t>(code);
    step.argument = static_cast<uint32_t>(argument);
    return {};
}

}  // namespace

ScenarioParse ParseScenario(std::string_view text) {
    ScenarioParse result;
    int lineNumber = 0;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        ++lineNumber;
        line = line.substr(0, line.find('#'));
        const std::vector<std::string_view> words = Words(line);
        if (words.empty()) continue;
        ScenarioStep step;
        std::string error = ParseStep(line, words, step);
        if (!error.empty()) {
            result.steps.clear();
            result.error = "line " + std::to_string(lineNumber) + ": " + error;
            return result;
        }
        result.steps.push_back(step);
    }
    return result;
}

std::string DescribeAction(const ScenarioStep& step) {
    for (const ActionName& candidate : kActions) {
        if (candidate.action != step.action) continue;
        std::string text(candidate.name);
        if (step.action == ScenarioAction::SessionControl) {
            text += " code=" + std::to_string(step.code) + " arg=" + std::to_string(step.argument);
        } else if (step.action == ScenarioAction::Warp) {
            text += " x=" + std::to_string(step.code) + " y=" + std::to_string(step.argument);
        } else if (step.action == ScenarioAction::ClipboardText || step.action == ScenarioAction::ClipboardSet) {
            text += " len=" + std::to_string(step.text.size());
        } else if (TakesRestOfLine(step.action)) {
            text += " path=" + step.text;
        } else {
            for (int64_t number : step.numbers) text += " " + std::to_string(number);
            if (!step.title.empty()) text += " " + step.title;
        }
        return text;
    }
    return "unknown";
}

}  // namespace corvane::testserver
