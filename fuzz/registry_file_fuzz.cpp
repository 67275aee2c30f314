// Arbitrary bytes as the registry file, then every question the client asks of it.
#include "fuzz_io.h"
#include "fuzz_support.h"
#include "platform/registry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    corvane::fuzz::QuietLog();
    namespace platform = corvane::platform;
    const platform::Registry registry =
        platform::Registry::LoadFile(corvane::fuzz::ScratchFile("registry", data, size));
    size_t found = 0;
    for (std::string_view key : {platform::kHaldenSystemsKey, platform::kShellFoldersKey}) {
        found += registry.HasKey(key) ? 1 : 0;
        for (std::string_view name : {"QELINI", "INSTALLPATH", "SAVEPASSWD", "Personal"}) {
            if (const auto value = registry.Value(key, name)) found += value->size();
        }
    }
    volatile size_t sink = found;
    (void)sink;
    return 0;
}
