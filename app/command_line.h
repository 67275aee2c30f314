// The client's command line:
//
//   corvane [options] [FILE.zrp]
//     --headless              no windows; dialogs are answered without a person
//     --session-choice WHAT   a session id, "new" or "last" (default "last")
//     --exit-after-frames N   end the session after N image updates and drawing requests
//     --exit-after SECONDS    end the session after this many seconds
//     --screenshot FILE       write the frame buffer as a PNG when the session ends
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
};

// 0 on success; -1 on a malformed command line, with the reason in `error`.
[[nodiscard]] int ParseCommandLine(const std::vector<std::string>& args, CommandLine& out,
                                   std::string& error);

[[nodiscard]] const char* CommandLineUsage();

}  // namespace corvane
