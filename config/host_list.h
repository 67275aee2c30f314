// The host list of the login dialog: the connection file's server, then the [Hosts] section
// of the site file, one host a line: address, display name, server code, port.
//
// Read on the user-interface thread when the dialog fills its list.
#pragma once

#include <string>
#include <vector>

#include "config/client_settings.h"

namespace corvane {

inline constexpr size_t kMaxHosts = 50;

struct HostEntry {
    std::string address;
    std::string name;
    std::string code;
    int port = kDefaultServerPort;
};

// At most kMaxHosts entries. `fromConnectionFile`: a connection file was read, and its
// server (from `settings`) comes first.
[[nodiscard]] std::vector<HostEntry> ReadHostList(const ClientSettings& settings,
                                                  bool fromConnectionFile);

}  // namespace corvane
