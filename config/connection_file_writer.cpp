#include "config/connection_file_writer.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

#include "config/error_box.h"
#include "config/generated_definitions.h"
#include "config/log.h"
#include "config/scrambled_text.h"
#include "config/tls_trust_setting.h"

namespace corvane {

namespace {

// Writes each line with one write call, as formatted.
class LineWriter {
public:
    explicit LineWriter(int fd) : m_fd(fd) {}

    void Line(const char* format, ...) __attribute__((format(printf, 2, 3))) {
        char line[512];
        va_list args;
        va_start(args, format);
        int n = std::vsnprintf(line, sizeof line, format, args);
        va_end(args);
        if (n < 0 || static_cast<size_t>(n) >= sizeof line) {
            m_ok = false;
            return;
        }
        Write(line, static_cast<size_t>(n));
    }

    void Text(const std::string& text) { Write(text.data(), text.size()); }

    [[nodiscard]] bool ok() const { return m_ok; }

private:
    void Write(const char* data, size_t size) {
        while (m_ok && size > 0) {
            ssize_t n = ::write(m_fd, data, size);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                m_ok = false;
                return;
            }
            data += n;
            size -= static_cast<size_t>(n);
        }
    }

    int m_fd;
    bool m_ok = true;
};

// Server codes are saved scrambled; the reader takes any code longer than 16 characters for a
// scrambled one. A code too long to scramble is saved as it stands.
std::string StoredServerCode(const std::string& code) {
    std::string scrambled;
    if (code.empty() || ScrambleText(code, scrambled) != 0) return code;
    return scrambled;
}

void WriteLines(LineWriter& w, const ClientSettings& s, const SaveState& state) {
    int width = state.fullScreenSession ? -1 : s.displayWidth;
    int height = state.fullScreenSession ? -1 : s.displayHeight;
    w.Line("[ZRP Client]\r\n");
    w.Line("VersionRequired           528\r\n");
    w.Line("DisplayClientType         1\r\n");
    w.Line("DisplayServerAddress      %s\r\n", s.displayServerAddress.c_str());
    w.Line("DisplayServerPort         %d\r\n", s.displayServerPort);
    w.Line("DisplayBandwidth          %d\r\n", s.displayBandwidth);
    w.Line("DisplayProtocol           1\r\n");
    w.Line("DisplayClientAutoStart    True\r\n");
    w.Line("DisplayServerName         %s\r\n", s.displayServerName.c_str());
    w.Line("DisplayWidth              %d\r\n", width);
    w.Line("DisplayHeight             %d\r\n", height);
    w.Line("DisplayDepth              %d\r\n", s.displayDepth);
    w.Line("DisplayVisual             %d\r\n", s.displayVisual);
    w.Line("UseGLPlus                 %d\r\n", s.useGLPlus);
    w.Line("DisplayFullScreen         %d\r\n", state.windowFullScreen ? 1 : 0);
    w.Line("Monitors                  %d %d %d %d\r\n", s.monitors[0], s.monitors[1],
           s.monitors[2], s.monitors[3]);
    w.Line("UseFullScreenMode         %d\r\n", s.useFullScreenMode);
    w.Line("UseSeamlessWindowingMode  %d\r\n\r\n", s.useSeamlessWindowingMode);
    w.Text("ServerCode                " + StoredServerCode(s.serverCode) + "\r\n");
    w.Line("ProjectID                 %s\r\n", s.projectID.c_str());
    w.Line("DeviceClientAutoStart     True\r\n");
    w.Line("DeviceUserName            %s\r\n", s.deviceUserName.c_str());
    w.Line("DeviceGroupName           zrp\r\n");
    w.Line("DeviceSupport             0\r\n");
    w.Line("DeviceServerPort          27001\r\n");
    w.Line("DeviceServerAddress       \r\n");
    for (int i = 1; i <= 4; ++i) {
        w.Line("Authentication%d           00000000000000000000000000000000\r\n", i);
    }
    w.Line("SessionID                 0\r\n");
    // The scrambled password is bytes and may hold blanks: written as it stands.
    w.Text("Password                  " + (s.savePassword ? s.password : std::string()) +
           "\r\n");
    // Written only when set, so a saved file keeps the trust the user asked for and files
    // saved without it read as they always have.
    if (s.tlsTrust != kTlsTrustNone) w.Line("TlsTrust                  %s\r\n", TlsTrustName(s.tlsTrust));
    w.Line("ProtocolType              %d\r\n", s.protocolType);
    w.Line("UseProxy                  %d\r\n", s.useProxy);
    w.Line("ProxyHost                 %s\r\n", s.proxyHost.c_str());
    w.Line("ProxyPort                 %d\r\n\r\n", s.proxyPort);
    w.Line("[EnvVars]\r\n");

    std::vector<std::string> definitions =
        s.rdpEnabled ? RemoteDesktopDefinitions(s) : XdmcpDefinitions(s);
    for (const std::string& definition : definitions) w.Text(definition + "\r\n");
}

}  // namespace

int WriteConnectionFile(const std::string& path, const ClientSettings& settings,
                        const SaveState& state) {
    std::string temporary = path + ".part";
    // The file holds the scrambled password: readable by its owner only.
    int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        ShowErrorBox("Error creating zrp file!", "Unable to create file:\r\n" + path);
        return 1;
    }
    LineWriter writer(fd);
    WriteLines(writer, settings, state);
    bool ok = writer.ok();
    ok = ::fsync(fd) == 0 && ok;
    ok = ::close(fd) == 0 && ok;
    if (ok && std::rename(temporary.c_str(), path.c_str()) != 0) ok = false;
    if (!ok) {
        DebugPrint(0, "ERROR: Writing %s failed: %s\n", path.c_str(), std::strerror(errno));
        ::unlink(temporary.c_str());
        ShowErrorBox("Error creating zrp file!", "Unable to create file:\r\n" + path);
        return 1;
    }
    return 0;
}

}  // namespace corvane
