// The client's entry point. For now it reads the command line, the site settings, the
// connection file, the environment block and the key map, and reports what it would connect
// to; the session and the windows come next.
#include <cstdio>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "config/client_settings.h"
#include "config/connection_file.h"
#include "config/env_block.h"
#include "config/log.h"
#include "config/site_settings.h"
#include "config/status_mailbox.h"
#include "input/key_map.h"
#include "platform/files.h"
#include "platform/registry.h"

namespace {

using namespace corvane;

void LoadKeyMap(const ClientSettings& settings, KeyMap& keyMap) {
    if (settings.keyMapFileEnabled) {
        (void)keyMap.ReadKeyMapFile(settings.keyMapFile);
    } else if (settings.keyMapNumber > 0) {
        (void)keyMap.LoadInternalKeyMap(settings.keyMapNumber);
    }
}

int Run(const CommandLine& commandLine) {
    ClientSettings settings;
    StatusMailbox mailbox;
    EnvBlock env;
    platform::Registry registry = platform::Registry::Load();

    if (LoadSiteSettings(settings, mailbox, registry, env) != 0) ApplyNoSiteDefaults(settings);

    // One monitor until the windowing layer reports the screens.
    constexpr int kMonitorCount = 1;
    const std::string& path = commandLine.connectionFile;
    if (platform::IsRegularFile(path)) {
        DebugPrint(1, "Reading .zrp file from command line: %s\n", path.c_str());
        (void)ReadConnectionFile(path, settings, mailbox, kMonitorCount);
        env.ReadDefinitions(path);
    } else {
        DebugPrint(1, "Error reading .zrp file from command line\n");
        mailbox.Post(kStatusError,
                     "Stand alone mode.  Default values\r\nwill be used for this session.", true);
    }
    DebugPrint(1, "m_zrpEnvVars = \"%s\"\n", env.Text().c_str());

    KeyMap keyMap;
    LoadKeyMap(settings, keyMap);

    StatusMessage last = mailbox.Last();
    if (last.code != 0) std::printf("%s\n", last.text.c_str());
    std::printf("Server %s (%s) port %d, user \"%s\", %dx%d depth %d%s\n",
                settings.displayServerAddress.c_str(), settings.displayServerName.c_str(),
                settings.displayServerPort, settings.deviceUserName.c_str(),
                settings.displayWidth, settings.displayHeight, settings.displayDepth,
                settings.forceLoginDialog ? ", login dialog needed" : "");
    return 0;
}

}  // namespace

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
    return Run(commandLine);
}
