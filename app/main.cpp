// The client's entry point: the command line, then the application object with its host.
// Until the windowed host exists every run uses the headless host.
#include <cstdio>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "session/display_client_app.h"
#include "session/headless_host.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    corvane::CommandLine commandLine;
    std::string error;
    if (corvane::ParseCommandLine(args, commandLine, error) != 0) {
        std::fprintf(stderr, "corvane: %s\n%s", error.c_str(), corvane::CommandLineUsage());
        return 2;
    }
    if (commandLine.showHelp) {
        std::fputs(corvane::CommandLineUsage(), stdout);
        return 0;
    }
    corvane::SessionOptions options;
    options.sessionChoice = commandLine.sessionChoice;
    options.exitAfterFrames = commandLine.exitAfterFrames;
    options.exitAfterSeconds = commandLine.exitAfterSeconds;
    options.screenshotPath = commandLine.screenshotPath;

    corvane::HeadlessHost host(options.sessionChoice);
    corvane::CDisplayClientApp app(host, options);
    int exitCode = app.Run(commandLine.connectionFile);
    // Without a progress window the last error shown there goes to the terminal.
    corvane::StatusMessage last = app.Mailbox().Last();
    if (exitCode != 0 && last.code == corvane::kStatusError) {
        std::fprintf(stderr, "corvane: %s\n", last.text.c_str());
    }
    return exitCode;
}
