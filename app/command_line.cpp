#include "app/command_line.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace corvane {

namespace {

bool ParseCount(const std::string& text, long long& out) {
    char* end = nullptr;
    errno = 0;
    long long value = std::strtoll(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno == ERANGE || value <= 0) return false;
    out = value;
    return true;
}

bool ParseSeconds(const std::string& text, double& out) {
    char* end = nullptr;
    double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !std::isfinite(value) || value <= 0) return false;
    out = value;
    return true;
}

bool IsSessionChoice(const std::string& text) {
    if (text == "new" || text == "last") return true;
    long long id = 0;
    return ParseCount(text, id);
}

}  // namespace

const char* CommandLineUsage() {
    return "usage: corvane [options] [FILE.zrp]\n"
           "Connects to the Corvane server that the connection file FILE.zrp names and shows\n"
           "the session; without a file the Session Login dialog asks where to connect.\n"
           "\n"
           "  -h, --help              show this text and exit\n"
           "  --version               show the version of the client and its libraries and exit\n"
           "  --headless              no windows; dialogs are answered without a person\n"
           "  --session-choice WHAT   a session id, \"new\" or \"last\" (default \"last\")\n"
           "  --exit-after-frames N   end the session after N image updates and drawing "
           "requests\n"
           "  --exit-after SECONDS    end the session after this many seconds\n"
           "  --screenshot FILE       write the frame buffer as a PNG when the session ends\n"
           "  --                      the next argument is the connection file\n"
           "\n"
           "Exit status: 0 when the session ended normally, 2 for a malformed command line,\n"
           "255 when the client ended on an error. See corvane(1).\n";
}

int ParseCommandLine(const std::vector<std::string>& args, CommandLine& out, std::string& error) {
    out = CommandLine{};
    bool optionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        auto value = [&](std::string& target) {
            if (i + 1 >= args.size()) {
                error = arg + " needs a value";
                return false;
            }
            target = args[++i];
            return true;
        };
        std::string text;
        if (optionsEnded || arg == "-" || arg.empty() || arg[0] != '-') {
            if (!out.connectionFile.empty()) {
                error = "more than one connection file: " + arg;
                return -1;
            }
            // Taken as it stands, quotes and all: a path that names no file means stand-alone.
            out.connectionFile = arg;
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "--headless") {
            out.headless = true;
        } else if (arg == "--help" || arg == "-h") {
            out.showHelp = true;
        } else if (arg == "--version") {
            out.showVersion = true;
        } else if (arg == "--session-choice") {
            if (!value(text)) return -1;
            if (!IsSessionChoice(text)) {
                error = "--session-choice takes a session id, \"new\" or \"last\"";
                return -1;
            }
            out.sessionChoice = text;
        } else if (arg == "--exit-after-frames") {
            if (!value(text)) return -1;
            if (!ParseCount(text, out.exitAfterFrames)) {
                error = "--exit-after-frames takes a positive whole number";
                return -1;
            }
        } else if (arg == "--exit-after") {
            if (!value(text)) return -1;
            if (!ParseSeconds(text, out.exitAfterSeconds)) {
                error = "--exit-after takes a positive number of seconds";
                return -1;
            }
        } else if (arg == "--screenshot") {
            if (!value(out.screenshotPath)) return -1;
        } else {
            // A file name that begins with '-' can follow "--".
            error = "unknown option " + arg;
            return -1;
        }
    }
    return 0;
}

}  // namespace corvane
