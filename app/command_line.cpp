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
           "  --headless              no windows; dialogs are answered without a person\n"
           "  --session-choice WHAT   a session id, \"new\" or \"last\" (default \"last\")\n"
           "  --exit-after-frames N   end the session after N image updates and drawing "
           "requests\n"
           "  --exit-after SECONDS    end the session after this many seconds\n"
           "  --screenshot FILE       write the frame buffer as a PNG when the session ends\n";
}

int ParseCommandLine(const std::vector<std::string>& args, CommandLine& out, std::string& error) {
    out = CommandLine{};
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
        if (arg == "--headless") {
            out.headless = true;
        } else if (arg == "--help" || arg == "-h") {
            out.showHelp = true;
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
        } else if (arg.size() > 2 && arg.compare(0, 2, "--") == 0) {
            error = "unknown option " + arg;
            return -1;
        } else if (out.connectionFile.empty()) {
            // Taken as it stands, quotes and all: a path that names no file means stand-alone.
            out.connectionFile = arg;
        } else {
            error = "more than one connection file: " + arg;
            return -1;
        }
    }
    return 0;
}

}  // namespace corvane
