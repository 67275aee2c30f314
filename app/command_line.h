// The client's command line:
//
//   corvane [options] [FILE.zrp]
//     -h, --help              the usage, then exit
//     --version               the client's version and its libraries', then exit
//     --headless              no windows; dialogs are answered without a person
//     --session-choice WHAT   a session id, "new" or "last" (default "last")
//     --exit-after-frames N   end the session after N image updates and drawing requests
//     --exit-after SECONDS    end the session after this many seconds
//     --screenshot FILE       write the frame buffer as a PNG when the session ends
//     --                      what follows is the connection file, even if it begins with '-'
//
// Scripts and tests drive the client through these options, so they are a contract.
#pragma once

#include <string>
#include <vector>

namespace corvane {

struct CommandLine {
    bool headless = false;
    std::string sessionChoice = "last";
    long long exitAfterFrames = 0;  // 0: not set
    double exitAfterSeconds = 0;    // 0: not set
    std::string screenshotPath;
    // The connection file argument as given; empty for stand-alone mode.
    std::string connectionFile;
    bool showHelp = false;
    bool showVersion = false;
};

// 0 on success; -1 on a malformed command line, with the reason in `error` (one line, no
// line feed).
[[nodiscard]] int ParseCommandLine(const std::vector<std::string>& args, CommandLine& out,
                                   std::string& error);

// The --help text.
[[nodiscard]] const char* CommandLineUsage();

// The exit code of a malformed command line, as for other command-line programs.
inline constexpr int kExitUsage = 2;

}  // namespace corvane
