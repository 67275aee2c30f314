#include "config/env_block.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "config/log.h"
#include "config/text_line_reader.h"

namespace corvane {
namespace {

constexpr std::string_view kSectionHeader = "[EnvVars]";

// The header is looked for in pieces of at most 79 characters; a piece shorter than the
// header cannot start with it and is passed over.
constexpr size_t kHeaderPieceLimit = 80;

// A section line holds at most 299 characters, its line end not counted. Pieces are read
// with room for one more character and the line feed, so that a line of 299 arrives whole
// and a longer one shows itself as longer.
constexpr size_t kLongestSectionLine = 299;
constexpr size_t kSectionLineLimit = kLongestSectionLine + 3;

constexpr const char* kLineTooLong = "*** Line longer than 299 characters. ***\n";
constexpr const char* kMissingEquals = "*** Missing equals sign. ***\n";
constexpr const char* kNonAlphanumeric = "*** Non-alphanumeric before equals sign. ***\n";
constexpr const char* kBlockTooLong = "*** Total length of definitions exceed 511. ***\n";

// Names are letters and digits of the C locale, whatever locale the process runs in.
bool IsAsciiAlnum(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

// A piece as text: a NUL byte ends it.
std::string_view AsText(const std::string& piece) {
    return std::string_view(piece.c_str());
}

// Drops what is left of a line the last read cut short.
void SkipRestOfLine(TextLineReader& reader) {
    std::string rest;
    while (reader.CutShort() && reader.Next(rest, kSectionLineLimit)) {
    }
}

// The length to hand to "%.*s"; log records never need more than this.
int PrintLength(std::string_view text) {
    return static_cast<int>(std::min<size_t>(text.size(), 4096));
}

void Reject(std::string_view line, const char* reason) {
    DebugPrint(0, "Error in [EnvVars] section of .zrp file.\n");
    DebugPrint(0, "%s", reason);
    DebugPrint(0, "*** Throwing out \"%.*s\" ***\n\n", PrintLength(line), line.data());
}

}  // namespace

void EnvBlock::ReadDefinitions(const std::string& path) {
    TextLineReader reader(path);
    if (!reader.IsOpen()) {
        DebugPrint(0, "\nERROR:   Unable to open qel.ini file\n");
        return;
    }

    std::string piece;
    bool inSection = false;
    while (!inSection && reader.Next(piece, kHeaderPieceLimit)) {
        inSection = AsText(piece).starts_with(kSectionHeader);
    }
    // Whatever follows the header on its line is not a definition.
    if (inSection) SkipRestOfLine(reader);

    while (inSection && reader.Next(piece, kSectionLineLimit)) {
        std::string_view line = AsText(piece);
        if (line.empty() || line.front() == '[') break;

        // A line too long to read whole is refused whole: read in pieces, each piece would
        // pass for a definition of its own and send the server a cut one.
        const bool cutShort = reader.CutShort();
        if (cutShort) SkipRestOfLine(reader);
        const size_t lineEnd = !piece.empty() && piece.back() == '\n' ? 1 : 0;
        const bool tooLong = cutShort || piece.size() - lineEnd > kLongestSectionLine;

        const char first = line.front();
        if (first == '\n' || first == '\r' || first == '#' || first == '*') continue;

        line = line.substr(0, line.find('\n'));
        line = line.substr(0, line.find('\r'));

        const size_t equals = line.find('=');
        const char* reason = nullptr;
        if (tooLong) {
            reason = kLineTooLong;
        } else if (equals == std::string_view::npos) {
            reason = kMissingEquals;
        } else if (!std::all_of(line.begin(), line.begin() + static_cast<std::ptrdiff_t>(equals),
                                IsAsciiAlnum)) {
            reason = kNonAlphanumeric;
        } else if (!Fits(line)) {
            reason = kBlockTooLong;
        }

        if (reason != nullptr) {
            Reject(line, reason);
        } else {
            Append(line);
        }
    }

    if (reader.Failed()) {
        const int readError = errno;
        DebugPrint(0, "\nERROR:   Unable to read \"%s\": %s\n", path.c_str(),
                   std::strerror(readError));
    }
}

bool EnvBlock::AppendDefinition(std::string_view text) {
    if (!Fits(text)) {
        DebugPrint(0,
                   "Error: environment definition \"%.*s\" not added: total length of "
                   "definitions would exceed 511.\n",
                   PrintLength(text), text.data());
        return false;
    }
    Append(text);
    return true;
}

bool EnvBlock::Fits(std::string_view text) const {
    // The separator is counted even for the first definition.
    return m_zrpEnvVars.size() + text.size() + 1 <= kMaxEnvBlockLength;
}

void EnvBlock::Append(std::string_view text) {
    if (!m_zrpEnvVars.empty()) m_zrpEnvVars += '\n';
    m_zrpEnvVars += text;
}

}  // namespace corvane
