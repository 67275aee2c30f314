// The client's settings: built-in defaults, then the site file, then the connection file,
// then the login dialogs, each layer overriding the one before.
//
// One plain struct owned by the application object. It is filled on the start-up thread
// before any other thread runs; afterwards the user-interface thread may change it (login
// dialogs) and other threads only read copies of what they need.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace corvane {

inline constexpr int kDefaultServerPort = 27500;

struct ClientSettings {
    // The server and the user.
    int demoMode = 0;
    std::string deviceUserName;
    std::string password;  // scrambled form (63 bytes) or empty; never clear text
    int sessionID = 0;
    std::string displayServerAddress;
    std::string displayServerName;
    int displayServerPort = kDefaultServerPort;
    int displayBandwidth = 1;
    std::string serverCode;  // clear text; its first 16 bytes modify the payload key
    std::string projectID;
    std::string addOptions;

    // Geometry and colour.
    int displayWidth = 1024;  // negative: the whole virtual screen
    int displayHeight = 768;
    int displayVisual = 4;  // 3 PseudoColor, 4 TrueColor
    int displayDepth = 24;  // 8, 16, 24 or 124
    int useGLPlus = 1;
    int backingStore = 0;
    std::array<int, 4> monitors{1, 1, 1, 1};
    int useFullScreenMode = 0;
    int useSeamlessWindowingMode = 0;

    // Transport.
    int protocolType = 0;  // 0 plain TCP, 1 TLS
    int useProxy = 0;
    std::string proxyHost;
    int proxyPort = 0;

    // Behaviour.
    int noRetries = 0;
    int noShowServer = 0;
    int disableDiscButton = 0;
    int reverseCursorColor = 1;
    bool closeDialog = false;
    int sessionLoginDialog = 0;
    int projectIDDialog = 0;
    int debugDrawingRect = 0;
    int compFormat = 4;
    int showOldLogo = 0;
    int printDebug = 0;
    int clipboardCharset = 0;  // the character set of clipboard text: 0 Windows-1252, 1 UTF-8
    int clipboardPrimary = 0;  // the primary selection is exchanged too

    // Key maps.
    int keyMapNumber = 2;
    int grabKeyboard = 0;  // the window takes the whole keyboard while it is active
    std::string keyMapFile;  // full path; used only when keyMapFileEnabled
    bool keyMapFileEnabled = false;

    // XDMCP and remote-desktop properties, from which environment definitions are made.
    std::string xdmcpType;
    std::string xdmcpHost;
    std::string xdmcpAddr;
    bool rdpEnabled = false;
    std::string rdpHost;
    std::string rdpUser;
    bool rdpPrivateColours = false;
    bool rdpFullScreen = false;
    int rdpWidth = 1024;
    int rdpHeight = 768;
    std::string rdpProgram;

    // Where things are.
    std::string siteFilePath;
    std::string configDirectory;
    std::string installPath;
    std::string logPath = "QelClientLog.txt";
    bool savePassword = true;

    // What reading the files decided.
    bool forceLoginDialog = false;  // the Session Login dialog must be shown before connecting
    bool remoteDesktopMode = false;  // the connection file asks for a remote-desktop session
    std::string remoteDesktopFile;   // the .rdp file extracted from it
    std::string connectionFilePath;  // empty in stand-alone mode

    int tlsTrust = 0;  // TlsTrust (config/tls_trust_setting.h): 0 none, 1 first use, 2 system CAs
};

}  // namespace corvane
