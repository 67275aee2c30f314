// The test server's command line: every option, its default, and the help text that
// describes them. Parsing is a pure function of the arguments: any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "protocol/records.h"
#include "tools/testserver/scenario.h"
#include "tools/testserver/server_keymap.h"

namespace corvane::testserver {

inline constexpr int kDefaultPort = 27500;
inline constexpr int kMaxAnnouncedSessions = 60;
inline constexpr int kMaxEntrySize = 4096;

struct UserAccount {
    std::string name;
    std::string password;  // clear text
    friend bool operator==(const UserAccount&, const UserAccount&) = default;
};

// A login step before which, or half-way through which, the connection is closed.
enum class LoginDrop { None, Answer, SessionList, SessionListHalf, FinalBlock, InitReply, InitReplyHalf };

struct ServerOptions {
    int port = kDefaultPort;  // 0: the system picks one
    bool tls = false;
    bool once = false;
    int exitAfterSeconds = 600;  // 0: no limit
    int silentAfter = -1;  // connections answered before the server falls silent; -1: all
    std::vector<UserAccount> users{{"demo", "demo"}};
    std::string serverCode;  // clear text; modifies the payload key

    bool redirectOnce = false;
    int32_t loginStatus = 0;  // not 0: every first block answers with it
    bool badMagic = false;
    LoginDrop dropAt = LoginDrop::None;
    bool tlsGarbage = false;  // bytes that are no TLS record right after the login's handshake
    int32_t finalStatus = 0;
    int32_t initStatus = 0;
    int sessionCount = 0;
    int entrySize = 384;
    int protocolVersion = 200;
    int serverVersion = 950;
    std::optional<std::pair<int, int>> geometry;  // width, height

    uint16_t envelope = COMPSTD;
    uint32_t compform = 4;  // the encoding of image updates: 1 to 9 (4: raw)
    int frameIntervalMs = 40;
    int frames = 0;  // moving updates after the full screen; 0: until the session ends
    bool still = false;  // --static
    bool seamless = false;  // announce the desktop's windows as seamless windows
    std::string x11Display;  // not empty: serve this X display instead of the generated desktop
    // The key codes the X display's keyboard takes: the client's built-in key map by default,
    // since its site settings choose map 2 unless they say otherwise.
    KeyCodes keyCodes = KeyCodes::BuiltinMap;
    uint32_t seed = 1;
    // Not 0: every session allows reconnection, then meets a random fault (a dropped or cut
    // connection, a bad frame, a bell, a clipboard text...) about this often.
    int faultsMs = 0;
    std::string scenarioPath;
    std::vector<ScenarioStep> scenario;  // filled by the caller from scenarioPath
    std::string recordPath;  // not empty: the first session's bytes are recorded there
    std::string replayPath;  // not empty: every session sends this recording
    int replayForSeconds = 0;  // more than 0: the recording is sent again and again this long
    std::string logPath;  // empty: standard error
    int traceLevel = 0;
    bool help = false;
};

struct CommandLine {
    ServerOptions options;
    std::string error;  // empty when the arguments were good
};

// The arguments after the program name.
[[nodiscard]] CommandLine ParseCommandLine(const std::vector<std::string>& arguments);

[[nodiscard]] std::string HelpText();

}  // namespace corvane::testserver
