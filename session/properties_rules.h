// The rules of the "Advanced properties ..." pages (Xdmcp, RDP, Protocol), apart from any
// toolkit: what each page shows of the settings, and the check and the storing when the user
// leaves it. A page that does not pass keeps the user on it and stores nothing.
//
// Plain functions, callable from any thread; the sheet calls them on the user-interface thread.
#pragma once

#include <array>
#include <optional>
#include <string>

#include "config/client_settings.h"
#include "session/login_form_rules.h"

namespace corvane {

// The most characters each text field of the pages takes.
inline constexpr int kPropertyFieldLimit = 100;

inline constexpr std::array<const char*, 4> kXdmcpTypes = {"Off", "-query", "-indirect", "-broadcast"};

struct XdmcpPage {
    std::string type = "Off";
    std::string host;
    std::string from;
};

[[nodiscard]] XdmcpPage XdmcpPageFrom(const ClientSettings& settings);
[[nodiscard]] UserMessage LeaveXdmcpPage(const XdmcpPage& page, ClientSettings& settings);

// The largest remote-desktop session the page accepts.
inline constexpr int kRdpMaxWidth = 2560;
inline constexpr int kRdpMaxHeight = 1024;

struct RdpPage {
    bool enabled = false;
    bool fullScreen = false;
    bool privateColours = true;
    std::string width;
    std::string height;
    std::string user;
    std::string host;
    std::string program;
};

[[nodiscard]] RdpPage RdpPageFrom(const ClientSettings& settings);
[[nodiscard]] UserMessage LeaveRdpPage(const RdpPage& page, ClientSettings& settings);

// The proxy port offered when the proxy box is checked and none is set yet.
inline constexpr int kDefaultProxyPort = 8080;
// The login dialog's port for TLS.
inline constexpr int kSslPort = 443;

struct ProtocolPage {
    bool ssl = false;
    bool proxy = false;
    std::string proxyHost;
    std::string proxyPort;
};

[[nodiscard]] ProtocolPage ProtocolPageFrom(const ClientSettings& settings);

// Leaving the protocol page also sets the login dialog's port: 443 for TLS, the configured
// server port (`configuredPort`) for zRP.
struct ProtocolLeave {
    UserMessage message;
    std::optional<int> loginPort;
};
[[nodiscard]] ProtocolLeave LeaveProtocolPage(const ProtocolPage& page, int configuredPort, ClientSettings& settings);

}  // namespace corvane
