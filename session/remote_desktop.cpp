#include "session/remote_desktop.h"

#include <algorithm>
#include <cstring>

#include "config/error_box.h"
#include "config/log.h"
#include "config/scrambled_text.h"
#include "platform/program_launch.h"

namespace corvane {

namespace {

// Overwrites the text's bytes in a way the compiler may not leave out, then empties it.
void Wipe(std::string& secret) {
    if (!secret.empty()) explicit_bzero(secret.data(), secret.size());
    secret.clear();
}

std::string Joined(const std::vector<std::string>& args) {
    std::string line;
    for (const std::string& a : args) line += (line.empty() ? "" : " ") + a;
    return line;
}

}  // namespace

std::vector<std::string> RemoteDesktopArguments(const ClientSettings& s) {
    std::vector<std::string> args{kRemoteDesktopProgram};
    if (!s.remoteDesktopFile.empty()) args.push_back(s.remoteDesktopFile);
    args.push_back("/v:" + s.displayServerAddress);
    if (!s.deviceUserName.empty()) {
        args.push_back("/u:" + s.deviceUserName);
        // Asked for before connecting, so the password is read at once and the pipe closed.
        if (!s.password.empty()) args.push_back("/from-stdin:force");
    }
    if (s.displayWidth < 0 || s.displayHeight < 0) {
        args.push_back("/f");
    } else if (s.displayWidth > 0 && s.displayHeight > 0) {
        args.push_back("/w:" + std::to_string(s.displayWidth));
        args.push_back("/h:" + std::to_string(s.displayHeight));
    }
    return args;
}

int ConnectByRemoteDesktop(const ClientSettings& settings) {
    const std::vector<std::string> args = RemoteDesktopArguments(settings);
    const std::string program = platform::FindProgram(kRemoteDesktopProgram);
    DebugPrint(1, "RDP: %s %s\n", program.empty() ? "(not found on PATH)" : program.c_str(), Joined(args).c_str());
    const bool handsPassword = std::find(args.begin(), args.end(), "/from-stdin:force") != args.end();

    std::string input;
    if (handsPassword) {
        std::string clear;
        if (UnscrambleText(settings.password, clear) == 0) {
            // Built in place: a temporary would leave a copy of the password behind.
            input.reserve(clear.size() + 1);
            input.append(clear);
            input.push_back('\n');
        }
        Wipe(clear);
    }
    platform::StartedProgram started;
    if (!program.empty()) started = platform::StartProgram(program, args, input);
    const bool passwordLost = handsPassword && started.pid >= 0 && (input.empty() || !started.inputWritten);
    Wipe(input);

    if (started.pid < 0) {
        ShowErrorBox("ERROR: RDP Client Connector",
                     "ERROR: Could not start RDP Client Connector.\nPlease contact your system administrator.");
    } else if (passwordLost) {
        ShowErrorBox("NOTICE: Could not save credentials.",
                     "NOTICE: Could not save credentials for RDP session.\nPlease re-enter credentials when prompted.");
    } else {
        DebugPrint(1, "RDP: started %s (process %d)\n", kRemoteDesktopProgram, started.pid);
    }
    return 1;
}

}  // namespace corvane
