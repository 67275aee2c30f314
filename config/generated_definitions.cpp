#include "config/generated_definitions.h"

namespace corvane {

std::vector<std::string> RemoteDesktopDefinitions(const ClientSettings& s) {
    if (!s.rdpEnabled || s.rdpHost.empty()) return {};
    std::string args = "QELRDPARGS=-N -u " + s.rdpUser;
    if (s.rdpPrivateColours) args += " -v";
    if (s.rdpFullScreen) {
        args += " -F";
    } else {
        args += " -g " + std::to_string(s.rdpWidth) + "x" + std::to_string(s.rdpHeight);
    }
    if (!s.rdpProgram.empty()) args += " -s " + s.rdpProgram;

    std::vector<std::string> definitions{"QELRDPHOST=" + s.rdpHost, args};
    if (!s.rdpFullScreen) definitions.emplace_back("QELWM=Motif");
    return definitions;
}

std::vector<std::string> XdmcpDefinitions(const ClientSettings& s) {
    if (s.xdmcpType.empty() || s.xdmcpHost.empty()) return {};
    std::vector<std::string> definitions{"QELXDMCPTYPE=" + s.xdmcpType,
                                         "QELXDMCPHOST=" + s.xdmcpHost};
    if (!s.xdmcpAddr.empty()) definitions.emplace_back("QELXDMCPFROM=" + s.xdmcpAddr);
    return definitions;
}

std::vector<std::string> LoginDialogDefinitions(const ClientSettings& s) {
    std::vector<std::string> definitions = RemoteDesktopDefinitions(s);
    return definitions.empty() ? XdmcpDefinitions(s) : definitions;
}

}  // namespace corvane
