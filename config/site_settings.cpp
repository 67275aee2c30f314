#include "config/site_settings.h"

#include <cstdio>
#include <memory>
#include <optional>

#include "config/clipboard_settings.h"
#include "config/tls_trust_setting.h"
#include "config/key_lookup.h"
#include "config/log.h"
#include "config/stored_secrets.h"
#include "platform/files.h"

namespace corvane {

namespace {

// Registry values were read into 512-byte buffers; a longer one does not fit.
constexpr size_t kRegistryValueLimit = 511;
constexpr const char* kDefaultLogName = "zRPDisplayLog.txt";
constexpr const char* kNoSiteLogName = "QelClientLog.txt";

using platform::JoinPath;

std::optional<std::string> RegistryValue(const platform::Registry& registry,
                                         std::string_view key, std::string_view name) {
    auto value = registry.Value(key, name);
    if (value && value->size() > kRegistryValueLimit) {
        DebugPrint(0, "ERROR: Registry value %.*s is longer than %zu characters; ignored.\n",
                   static_cast<int>(name.size()), name.data(), kRegistryValueLimit);
        return std::nullopt;
    }
    return value;
}

struct Located {
    int status = 0;  // 0 found, 1 defaults
    std::string siteFile;
};

// Finds the site file: the user's "My Connections" copy, a demo.ini in the current
// directory, or the installed file (copied into "My Connections" on first use).
Located LocateSiteFile(ClientSettings& s, StatusMailbox& mailbox,
                       const platform::Registry& registry) {
    Located result;
    if (registry.HasKey(platform::kShellFoldersKey)) {
        s.configDirectory = RegistryValue(registry, platform::kShellFoldersKey, "Personal")
                                .value_or("/My Documents");
    }
    std::string userCopy = JoinPath(JoinPath(s.configDirectory, kMyConnections), kSiteFileName);
    if (!s.configDirectory.empty() && platform::IsRegularFile(userCopy)) {
        result.siteFile = userCopy;
        s.configDirectory = JoinPath(s.configDirectory, kMyConnections);
    }
    if (platform::IsRegularFile(kDemoSiteFile)) {
        result.siteFile = kDemoSiteFile;
        return result;
    }

    auto defaults = [&](const char* message) {
        mailbox.PostError(message);
        result.status = 1;
        return result;
    };
    bool foundUserCopy = !result.siteFile.empty();
    if (!foundUserCopy) {
        if (!registry.HasKey(platform::kHaldenSystemsKey)) {
            return defaults(
                "Unable to open\r\nHKEY_LOCAL_MACHINE\\Software\\Halden Systems!\r\n"
                "Defaults will be used.");
        }
        auto qelini = RegistryValue(registry, platform::kHaldenSystemsKey, "QELINI");
        if (!qelini) return defaults("Registry key \"QELINI\" not found!\r\nDefaults will be used.");
        result.siteFile = *qelini;
    }

    constexpr const char* kNoInstallPath =
        "Registry key \"INSTALLPATH\" not found!\r\nDefaults will be used.";
    if (!registry.HasKey(platform::kHaldenSystemsKey)) return defaults(kNoInstallPath);
    if (auto installPath = RegistryValue(registry, platform::kHaldenSystemsKey, "INSTALLPATH")) {
        s.installPath = *installPath;
    } else {
        mailbox.PostError(kNoInstallPath);
        s.installPath = CORVANE_DEFAULT_INSTALL_PATH;
    }

    s.savePassword = RegistryValue(registry, platform::kHaldenSystemsKey, "SAVEPASSWD") != "false";

    auto personal = registry.HasKey(platform::kShellFoldersKey)
                        ? RegistryValue(registry, platform::kShellFoldersKey, "Personal")
                        : std::nullopt;
    if (!personal) {
        s.configDirectory = s.installPath;
        return defaults("Registry key \"Personal\" not found!\r\nDefaults will be used.");
    }
    std::string connections = JoinPath(*personal, kMyConnections);
    std::string copy = JoinPath(connections, kSiteFileName);
    if (platform::IsRegularFile(copy) ||
        (platform::MakeDirectory(connections) && CopyTextFile(result.siteFile, copy) == 0)) {
        result.siteFile = copy;
        s.configDirectory = connections;
    } else {
        s.configDirectory = *personal;
    }
    return result;
}

// One [section] of the site file, with the per-key defaults and messages.
class SiteReader {
public:
    SiteReader(const std::string& path, ClientSettings& s, StatusMailbox& mailbox)
        : m_path(path), m_settings(s), m_mailbox(mailbox) {}

    std::optional<std::string> Line(const char* section, const char* key) const {
        KeyLookup found = LookupKey(m_path, section, key);
        if (found.status != kLookupFound) return std::nullopt;
        return found.line;
    }

    // Absent: the default applies and, when there is one, the message is posted and the
    // login dialog forced. Present but unparsable: the earlier value stays.
    void Int(const char* key, int& target, int absentDefault, const char* message = nullptr,
             bool forceLogin = true, const char* section = "[Viewer]") {
        auto line = Line(section, key);
        if (!line) {
            target = absentDefault;
            Missing(message, forceLogin);
            return;
        }
        if (auto value = IntValue(*line)) target = *value;
    }

    // Absent: the target is cleared; the message is posted as for Int.
    bool Word(const char* section, const char* key, std::string& target,
              const char* message = nullptr, bool forceLogin = true) {
        auto line = Line(section, key);
        if (!line) {
            target.clear();
            Missing(message, forceLogin);
            return false;
        }
        ReadWordValue(*line, key, m_path, target);
        return true;
    }

    void Missing(const char* message, bool forceLogin) {
        if (message == nullptr) return;
        m_mailbox.PostError(message);
        if (forceLogin) m_settings.forceLoginDialog = true;
    }

private:
    const std::string& m_path;
    ClientSettings& m_settings;
    StatusMailbox& m_mailbox;
};

void OpenLogIn(ClientSettings& s, SiteReader& r) {
    std::string logName;
    if (r.Word("[Viewer]", "LogFile", logName, "Error:  zRP Display Client cannot read LogFile")) {
        s.logPath = JoinPath(s.configDirectory, logName);
    } else {
        s.logPath = kDefaultLogName;
    }
    OpenLog(s.logPath);
    SetLogSizeCap(1'000'000);
    SetLogKeepSize(500'000);
}

void ReadSecrets(ClientSettings& s, SiteReader& r, const std::string& siteFile) {
    s.password.clear();
    if (auto line = r.Line("[Password]", "Password")) {
        std::string value = ScrambledOrWordValue(*line);
        if (IsStoredPassword(value)) {
            s.password = value;
        } else {
            DebugPrint(0, "ERROR: The Password of %s cannot be unscrambled; ignored.\n",
                       siteFile.c_str());
        }
    }
    s.serverCode.clear();
    if (auto line = r.Line("[Viewer]", "ServerCode")) {
        if (auto clear = ClearServerCode(ScrambledOrWordValue(*line))) {
            s.serverCode = *clear;
        } else {
            DebugPrint(0, "ERROR: The ServerCode of %s cannot be unscrambled; ignored.\n",
                       siteFile.c_str());
        }
    }
}

void ReadKeys(ClientSettings& s, SiteReader& r, const std::string& siteFile) {
    r.Int("PrintDebug", s.printDebug, 1, "Error:  zRP Display Client cannot read PrintDebug.");
    SetDebugLevel(s.printDebug);
    r.Int("DebugDrawingRect", s.debugDrawingRect, 0);
    s.debugDrawingRect = s.debugDrawingRect != 0 ? 1 : 0;
    r.Int("DisplayPort", s.displayServerPort, kDefaultServerPort,
          "Error:  zRP Display Client cannot read PortNumber.");
    r.Int("MaxScreenWidth", s.displayWidth, 1024,
          "Error:  zRP Display Client cannot read MaxScreenWidth.");
    r.Int("MaxScreenHeight", s.displayHeight, 768,
          "Error:  zRP Display Client cannot read MaxScreenHeight.");
    r.Int("ColorDepth", s.displayDepth, 8, "Error:  zRP Display Client cannot read ColorDepth.");
    r.Int("VisualClass", s.displayVisual, 3,
          "Error:  zRP Display Client cannot read VisualClass.");
    r.Int("BackingStore", s.backingStore, 0,
          "Error:  zRP Display Client cannot read BackingStore.");
    r.Int("UseGLPlus", s.useGLPlus, 0);
    r.Word("[Viewer]", "AddOptions", s.addOptions,
           "Error:  zRP Display Client cannot read AddOptions.");
    int closeDialog = s.closeDialog ? 1 : 0;
    r.Int("CloseDialog", closeDialog, 1, "Error:  zRP Display Client cannot read CloseDialog.");
    s.closeDialog = closeDialog != 0;
    // Absent, it takes its default of 1 and so still asks for the dialog.
    r.Int("SessionLoginDialog", s.sessionLoginDialog, 1,
          "Error:  zRP Display Client cannot read SessionLoginDialog.", false);
    if (s.sessionLoginDialog != 0) s.forceLoginDialog = true;
    if (!r.Word("[User]", "Username", s.deviceUserName)) {
        DebugPrint(1, "Error:  zRP Display Client cannot read username.\n");
    }
    ReadSecrets(s, r, siteFile);
    r.Int("Bandwidth", s.displayBandwidth, 1);
    r.Int("ProjectIDDialog", s.projectIDDialog, 0);
    s.monitors = {1, 1, 1, 1};
    if (auto line = r.Line("[Viewer]", "Monitors")) {
        if (auto values = FourIntValues(*line)) s.monitors = *values;
    }
    r.Int("UseFullScreenMode", s.useFullScreenMode, 0);
    r.Int("UseSeamlessWindowingMode", s.useSeamlessWindowingMode, 0);
    std::string keyMapFile;
    bool haveKeyMapFile = r.Word("[Viewer]", "KeyMapFile", keyMapFile);
    r.Int("CompFormat", s.compFormat, 4);
    r.Int("ShowOldLogo", s.showOldLogo, 0);
    r.Word("[Xdmcp]", "XdmcpType", s.xdmcpType);
    r.Word("[Xdmcp]", "XdmcpHost", s.xdmcpHost);
    r.Word("[Xdmcp]", "XdmcpAddr", s.xdmcpAddr);
    r.Int("ProtocolType", s.protocolType, 0, nullptr, false, "[Protocol]");
    r.Int("UseProxy", s.useProxy, 0, nullptr, false, "[Protocol]");
    r.Word("[Protocol]", "ProxyHost", s.proxyHost);
    r.Int("ProxyPort", s.proxyPort, 0, nullptr, false, "[Protocol]");
    if (auto line = r.Line("[Viewer]", "KeyMapNumber")) {
        if (auto value = IntValue(*line)) s.keyMapNumber = *value;
        DebugPrint(1, "DEBUG: KeyMapNumber %d requested.\n", s.keyMapNumber);
    } else {
        s.keyMapNumber = 2;
    }
    r.Int("DisableDiscButton", s.disableDiscButton, 0);
    r.Int("ReverseCursorColor", s.reverseCursorColor, 1);
    r.Int("GrabKeyboard", s.grabKeyboard, 0);
    ReadClipboardSettings(siteFile, "[Viewer]", true, s);
    ReadTlsTrustSetting(siteFile, "[Viewer]", true, s);

    s.keyMapFile.clear();
    s.keyMapFileEnabled = false;
    if (!haveKeyMapFile || keyMapFile.empty()) {
        DebugPrint(1, "DEBUG: No KeyMapFile defined.\n");
    } else {
        s.keyMapFile = JoinPath(s.configDirectory, keyMapFile);
        if (!platform::IsRegularFile(s.keyMapFile) || !platform::IsReadable(s.keyMapFile)) {
            DebugPrint(0, "Error: KeyMapFile \"%s\" does not exist or have read permission.\n",
                       s.keyMapFile.c_str());
        } else {
            DebugPrint(1, "Using KeyMapFile %s.\n", s.keyMapFile.c_str());
            s.keyMapFileEnabled = true;
        }
    }

    // A single placeholder character such as "-" means the value is not set.
    if (s.xdmcpType.size() == 1) {
        s.xdmcpType.clear();
        s.xdmcpHost.clear();
        s.xdmcpAddr.clear();
    }
    if (s.xdmcpAddr.size() == 1) s.xdmcpAddr.clear();
}

}  // namespace

int LoadSiteSettings(ClientSettings& settings, StatusMailbox& mailbox,
                     const platform::Registry& registry, EnvBlock& env) {
    Located located = LocateSiteFile(settings, mailbox, registry);
    if (located.status != 0) return 1;
    settings.siteFilePath = located.siteFile;
    if (!platform::IsRegularFile(located.siteFile)) {
        mailbox.PostError("Error reading qel.ini\r\nDefaults will be used.");
        return 1;
    }
    SiteReader reader(located.siteFile, settings, mailbox);
    OpenLogIn(settings, reader);
    ReadKeys(settings, reader, located.siteFile);
    env.ReadDefinitions(located.siteFile);
    return 0;
}

void ApplyNoSiteDefaults(ClientSettings& s) {
    s.logPath = kNoSiteLogName;
    s.printDebug = 0;
    SetDebugLevel(0);
    s.displayServerPort = kDefaultServerPort;
    s.displayWidth = 1024;
    s.displayHeight = 768;
    s.displayDepth = 24;
    s.displayVisual = 4;
    s.useGLPlus = 1;
    s.backingStore = 0;
    s.closeDialog = false;
    s.addOptions.clear();
}

int CopyTextFile(const std::string& source, const std::string& destination) {
    std::unique_ptr<FILE, int (*)(FILE*)> in(std::fopen(source.c_str(), "r"), std::fclose);
    if (!in) return -1;
    // "x": never replace a file that is already there.
    std::unique_ptr<FILE, int (*)(FILE*)> out(std::fopen(destination.c_str(), "wx"), std::fclose);
    if (!out) return -1;
    char piece[100];
    while (std::fgets(piece, sizeof piece, in.get()) != nullptr) std::fputs(piece, out.get());
    bool ok = !std::ferror(in.get()) && !std::ferror(out.get());
    if (std::fclose(out.release()) != 0) ok = false;
    return ok ? 0 : -1;
}

}  // namespace corvane
