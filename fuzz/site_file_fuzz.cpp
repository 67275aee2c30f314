// Arbitrary bytes as the site file (qel.ini), found the way the client finds it: through a
// registry file whose documents folder holds "My Connections/qel.ini". Every key is read, and
// the [EnvVars] section into the environment block.
//
// The site file names the log file, which the client then opens for writing. So that a
// fuzzed name can never reach outside the scratch folder, the input follows a [Viewer] line
// with the log file and debug level of this target's own; the first line of a key wins, so
// the input's own LogFile and PrintDebug lines are read past.
#include <sys/stat.h>

#include "config/env_block.h"
#include "config/site_settings.h"
#include "fuzz_io.h"
#include "fuzz_support.h"
#include "platform/registry.h"

namespace {

const corvane::platform::Registry& ScratchRegistry() {
    static const corvane::platform::Registry registry = [] {
        const std::string& dir = corvane::fuzz::ScratchDir();
        if (mkdir((dir + "/" + corvane::kMyConnections).c_str(), 0700) != 0) __builtin_trap();
        const std::string text = "[" + std::string(corvane::platform::kHaldenSystemsKey) + "]\n" +
                                 "QELINI=" + dir + "/qel.ini\n" + "INSTALLPATH=" + dir + "\n" +
                                 "[" + std::string(corvane::platform::kShellFoldersKey) + "]\n" +
                                 "Personal=" + dir + "\n";
        return corvane::platform::Registry::LoadFile(corvane::fuzz::ScratchFile(
            "registry", reinterpret_cast<const uint8_t*>(text.data()), text.size()));
    }();
    return registry;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    corvane::fuzz::QuietLog();
    const corvane::platform::Registry& registry = ScratchRegistry();
    (void)corvane::fuzz::ScratchFile(
        std::string(corvane::kMyConnections) + "/" + corvane::kSiteFileName, data, size,
        "[Viewer]\nLogFile site.log\nPrintDebug 0\n");
    corvane::ClientSettings settings;
    corvane::StatusMailbox mailbox;
    corvane::EnvBlock env;
    if (corvane::LoadSiteSettings(settings, mailbox, registry, env) != 0) __builtin_trap();
    // The site file opened its own log; back to the quiet one.
    corvane::OpenLog("/dev/null");
    if (env.Text().size() > corvane::kMaxEnvBlockLength) __builtin_trap();
    return 0;
}
