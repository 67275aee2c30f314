#include "session/properties_rules.h"

#include <algorithm>

namespace corvane {

namespace {

constexpr const char* kInvalidParameter = "Invalid parameter";

// A whole number within [low, high], every character a digit; nothing otherwise.
std::optional<int> NumberWithin(const std::string& text, int low, int high) {
    if (text.empty() || text.size() > 9 || !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return std::nullopt;
    }
    const int value = std::stoi(text);
    if (value < low || value > high) return std::nullopt;
    return value;
}

UserMessage Invalid(const char* text) { return {kInvalidParameter, text}; }

}  // namespace

XdmcpPage XdmcpPageFrom(const ClientSettings& s) {
    XdmcpPage page;
    if (!s.xdmcpType.empty() && !s.xdmcpHost.empty()) {
        page.type = s.xdmcpType;
        page.host = s.xdmcpHost;
        page.from = s.xdmcpAddr;
    }
    return page;
}

UserMessage LeaveXdmcpPage(const XdmcpPage& page, ClientSettings& s) {
    const bool active = page.type != kXdmcpTypes[0];
    if (active && !page.host.empty() && page.type.empty()) return Invalid("Please enter a type.");
    if (active && !page.type.empty() && page.host.empty()) return Invalid("Please enter a host.");
    // "Off" asks for nothing: it is kept as no type at all.
    s.xdmcpType = active ? page.type : std::string();
    s.xdmcpHost = active ? page.host : std::string();
    s.xdmcpAddr = active ? page.from : std::string();
    return {};
}

RdpPage RdpPageFrom(const ClientSettings& s) {
    RdpPage page;
    page.enabled = s.rdpEnabled;
    page.fullScreen = s.rdpFullScreen;
    page.privateColours = s.rdpPrivateColours;
    if (!s.rdpFullScreen) {
        page.width = std::to_string(s.rdpWidth);
        page.height = std::to_string(s.rdpHeight);
    }
    page.user = s.rdpUser;
    page.host = s.rdpHost;
    page.program = s.rdpProgram;
    return page;
}

UserMessage LeaveRdpPage(const RdpPage& page, ClientSettings& s) {
    if (!page.enabled) {
        s.rdpEnabled = false;
        s.rdpUser.clear();
        s.rdpHost.clear();
        s.rdpProgram.clear();
        s.rdpFullScreen = false;
        s.rdpWidth = 0;
        s.rdpHeight = 0;
        s.rdpPrivateColours = true;
        return {};
    }
    if (page.user.empty()) return Invalid("Please enter a user name.");
    if (page.host.empty()) return Invalid("Please enter a host name or I.P..");
    std::optional<int> width;
    std::optional<int> height;
    if (!page.fullScreen) {
        width = NumberWithin(page.width, 1, kRdpMaxWidth);
        if (!width) return Invalid("Invalid geometry width.");
        height = NumberWithin(page.height, 1, kRdpMaxHeight);
        if (!height) return Invalid("Invalid geometry height.");
    }
    s.rdpEnabled = true;
    s.rdpFullScreen = page.fullScreen;
    s.rdpWidth = width.value_or(0);
    s.rdpHeight = height.value_or(0);
    s.rdpPrivateColours = page.privateColours;
    s.rdpUser = page.user;
    s.rdpHost = page.host;
    s.rdpProgram = page.program;
    return {};
}

ProtocolPage ProtocolPageFrom(const ClientSettings& s) {
    ProtocolPage page;
    page.ssl = s.protocolType != 0;
    page.proxy = page.ssl && s.useProxy != 0;
    if (page.proxy) {
        page.proxyHost = s.proxyHost;
        page.proxyPort = std::to_string(s.proxyPort);
    }
    return page;
}

ProtocolLeave LeaveProtocolPage(const ProtocolPage& page, int configuredPort, ClientSettings& s) {
    std::optional<int> proxyPort;
    if (page.ssl && page.proxy) {
        if (page.proxyHost.empty()) return {Invalid("Please enter a proxy host."), std::nullopt};
        proxyPort = NumberWithin(page.proxyPort, 1, 65535);
        if (!proxyPort) return {Invalid("Invalid proxy port."), std::nullopt};
    }
    if (!page.ssl) {
        s.protocolType = 0;
        s.useProxy = 0;
        s.proxyPort = 0;
        s.proxyHost.clear();
        return {{}, configuredPort};
    }
    s.protocolType = 1;
    s.useProxy = proxyPort ? 1 : 0;
    if (proxyPort) {
        s.proxyHost = page.proxyHost;
        s.proxyPort = *proxyPort;
    }
    return {{}, kSslPort};
}

}  // namespace corvane
