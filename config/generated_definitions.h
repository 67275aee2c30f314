// Environment definitions the client makes itself from its remote-desktop and XDMCP
// properties, for the server to put into the session's environment. Each returns the
// definitions in the order they are sent, without line ends; empty when the properties do
// not ask for them.
#pragma once

#include <string>
#include <vector>

#include "config/client_settings.h"

namespace corvane {

// QELRDPHOST, QELRDPARGS and, unless full screen, QELWM=Motif; only when the remote-desktop
// connection is enabled and its host is set.
[[nodiscard]] std::vector<std::string> RemoteDesktopDefinitions(const ClientSettings& settings);

// QELXDMCPTYPE, QELXDMCPHOST and, when set, QELXDMCPFROM; only when the type and host are set.
[[nodiscard]] std::vector<std::string> XdmcpDefinitions(const ClientSettings& settings);

// What the login dialog adds when the user connects: the remote-desktop definitions when they
// apply, otherwise the XDMCP ones.
[[nodiscard]] std::vector<std::string> LoginDialogDefinitions(const ClientSettings& settings);

}  // namespace corvane
