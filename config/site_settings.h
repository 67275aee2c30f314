// The site settings: defaults shared by every connection of the machine or user, read from
// the site file qel.ini before any connection file.
//
// The site file is found through the registry and the user's documents folder; this also
// fixes the configuration directory in which the log and the key map file live. Called once
// on the start-up thread.
#pragma once

#include <string>

#include "config/client_settings.h"
#include "config/env_block.h"
#include "config/status_mailbox.h"
#include "platform/registry.h"

namespace corvane {

inline constexpr const char* kSiteFileName = "qel.ini";
inline constexpr const char* kMyConnections = "My Connections";
inline constexpr const char* kDemoSiteFile = "demo.ini";

// Locates and reads the site file, opens the log, and reads the site file's [EnvVars] into
// `env`. Returns 0 when the site file was read; 1 when it or its registry entries are
// missing (a message has been posted), in which case the caller applies
// ApplyNoSiteDefaults().
[[nodiscard]] int LoadSiteSettings(ClientSettings& settings, StatusMailbox& mailbox,
                                   const platform::Registry& registry, EnvBlock& env);

// The built-in defaults for a client that found no site file.
void ApplyNoSiteDefaults(ClientSettings& settings);

// Copies a text file line by line. 0 on success; -1 when either file cannot be opened. An
// existing destination is never overwritten.
[[nodiscard]] int CopyTextFile(const std::string& source, const std::string& destination);

}  // namespace corvane
