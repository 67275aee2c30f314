#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string_view>

#include "config/clipboard_settings.h"
#include "config/connection_file.h"
#include "config/key_lookup.h"
#include "config/log.h"
#include "config/stored_secrets.h"
#include "config/text_line_reader.h"
#include "config/tls_trust_setting.h"
#include "crypto/payload_cipher.h"
#include "crypto/payload_key.h"
#include "crypto/secure_wipe.h"
#include "platform/files.h"
#include "platform/process.h"

namespace corvane {

namespace {

constexpr int32_t kTicketRecordType = 1001;
constexpr size_t kTicketPasswordOffset = 8;
constexpr size_t kTicketStartOffset = 80;
constexpr size_t kTicketLengthOffset = 88;

struct RequiredKeyError {
    const char* message;
    const char* record;
};

class Reader {
public:
    Reader(const std::string& path, ClientSettings& settings, StatusMailbox& mailbox)
        : m_path(path), m_settings(settings), m_mailbox(mailbox) {}

    std::optional<std::string> Line(const char* key) {
        KeyLookup found = LookupKey(m_path, kConnectionSection, key);
        if (found.status != kLookupFound) return std::nullopt;
        return found.line;
    }

    // Reads an integer key; false when the key is absent.
    bool Int(const char* key, int& target) {
        auto line = Line(key);
        if (!line) return false;
        if (auto value = IntValue(*line)) target = *value;
        return true;
    }

    bool Word(const char* key, std::string& target) {
        auto line = Line(key);
        if (!line) return false;
        ReadWordValue(*line, key, m_path, target);
        return true;
    }

    void Fail(const RequiredKeyError& error, bool forceLogin = true) {
        m_mailbox.PostError(error.message);
        DebugPrint(0, "%s", error.record);
        if (forceLogin) m_settings.forceLoginDialog = true;
    }

    void RequiredInt(const char* key, int& target, const RequiredKeyError& error) {
        if (!Int(key, target)) Fail(error);
    }

    void RequiredWord(const char* key, std::string& target, const RequiredKeyError& error) {
        if (!Word(key, target)) Fail(error);
    }

    void ReadServerCode();
    void ReadPassword(const std::string& line);
    void ReadTicket();
    void ReadMonitors(int monitorCount);

private:
    const std::string& m_path;
    ClientSettings& m_settings;
    StatusMailbox& m_mailbox;
};

constexpr RequiredKeyError kCannotReadPassword{"Error:  Cannot read password.",
                                               "\nERROR: Unable to get password from zRP File\n"};

void Reader::ReadServerCode() {
    auto line = Line("ServerCode");
    if (!line) return;
    std::string value = ScrambledOrWordValue(*line);
    if (value.empty()) return;
    auto clear = ClearServerCode(value);
    if (!clear) {
        DebugPrint(0, "ERROR: The ServerCode of %s cannot be unscrambled; ignored.\n",
                   m_path.c_str());
        return;
    }
    m_settings.serverCode = *clear;
}

// A Password line without a value counts as present: the password stays empty and no
// ticket is read.
void Reader::ReadPassword(const std::string& line) {
    std::string value = ScrambledOrWordValue(line);
    if (!IsStoredPassword(value)) {
        m_settings.password.clear();
        Fail(kCannotReadPassword);
        return;
    }
    m_settings.password = value;
}

std::optional<std::array<uint8_t, 32>> HexBlock(const std::string& word) {
    if (word.size() != 64) return std::nullopt;
    std::array<uint8_t, 32> bytes{};
    for (size_t i = 0; i < 64; ++i) {
        char c = word[i];
        int digit = (c >= '0' && c <= '9')   ? c - '0'
                    : (c >= 'a' && c <= 'f') ? c - 'a' + 10
                    : (c >= 'A' && c <= 'F') ? c - 'A' + 10
                                             : -1;
        if (digit < 0) return std::nullopt;
        bytes[i / 2] = static_cast<uint8_t>((bytes[i / 2] << 4) | digit);
    }
    return bytes;
}

template <typename T>
T ReadHostOrder(const uint8_t* bytes) {
    T value;
    std::memcpy(&value, bytes, sizeof value);
    return value;
}

bool TicketExpired(int64_t now, int64_t start, int64_t length) {
    if (now < start) return true;
    // now - start cannot overflow here: now >= start and both are seconds since 1970.
    return static_cast<uint64_t>(now) - static_cast<uint64_t>(start) >
           static_cast<uint64_t>(std::max<int64_t>(length, 0));
}

void Reader::ReadTicket() {
    if (auto line = Line("ClientTime")) (void)Int64Value(*line);
    if (auto line = Line("TimeWindow")) (void)Int64Value(*line);

    std::array<uint8_t, kTicketSize> ticket{};
    const WipeOnExit wipeTicket(ticket.data(), ticket.size());  // it holds the password
    bool allPresent = true;
    for (int i = 1; i <= kTicketKeyCount; ++i) {
        char key[32];
        std::snprintf(key, sizeof key, "Authentication%2.2d", i);
        auto line = Line(key);
        std::optional<std::array<uint8_t, 32>> block;
        if (line) {
            block = HexBlock(WordValue(*line).value_or(""));
            if (!block) DebugPrint(0, "ERROR: %s is not 64 hexadecimal digits.\n", key);
        }
        if (!block) {
            allPresent = false;
            continue;
        }
        std::copy(block->begin(), block->end(), ticket.begin() + (i - 1) * 32);
        SecureWipe(block->data(), block->size());
    }
    (void)DecipherBlocks(ticket.data(), ticket.size(), 32, BuildPayloadKey());

    int32_t type = ReadHostOrder<int32_t>(&ticket[0]);
    int32_t length = ReadHostOrder<int32_t>(&ticket[4]);
    bool usable = type == kTicketRecordType && length >= 0 &&
                  static_cast<size_t>(length) <= kTicketStartOffset - kTicketPasswordOffset;
    if (usable) {
        std::string password(reinterpret_cast<const char*>(&ticket[kTicketPasswordOffset]),
                             static_cast<size_t>(length));
        usable = IsStoredPassword(password);
        if (usable) m_settings.password = password;
        SecureWipe(password);
    }
    if (usable) {
        int64_t start = ReadHostOrder<int64_t>(&ticket[kTicketStartOffset]);
        int64_t validFor = ReadHostOrder<int64_t>(&ticket[kTicketLengthOffset]);
        if (TicketExpired(platform::UnixTimeSeconds(), start, validFor)) {
            Fail({"Error:  Cannot process this .ZRP File.",
                  "\nERROR: This zRP File cannot be used.\n"});
        }
        if (allPresent) return;
    }
    Fail(kCannotReadPassword);
}

void Reader::ReadMonitors(int monitorCount) {
    auto line = Line("Monitors");
    if (!line) return;
    auto values = FourIntValues(*line);
    if (!values) return;
    for (int i = 0; i < 4; ++i) m_settings.monitors[i] = i < monitorCount ? (*values)[i] : 0;
}

// True when the path ends in ".zrp" in any mix of case.
bool HasZrpExtension(const std::string& path) {
    constexpr std::string_view kExtension = ".zrp";
    if (path.size() < kExtension.size()) return false;
    const std::string_view tail = std::string_view(path).substr(path.size() - kExtension.size());
    return std::equal(tail.begin(), tail.end(), kExtension.begin(), [](char a, char b) {
        return (a >= 'A' && a <= 'Z' ? static_cast<char>(a - 'A' + 'a') : a) == b;
    });
}

// Lines after "[RDP]" up to the next section or blank line, copied unchanged into the .rdp
// file beside the connection file. That file is named by swapping the extension, so only a
// .zrp file has one: for any other name the swap would land on the connection file itself or
// on some unrelated file.
void ExtractRemoteDesktopSection(const std::string& path, ClientSettings& settings) {
    settings.remoteDesktopMode = false;
    settings.remoteDesktopFile.clear();
    constexpr size_t kRdpLineLimit = 1024;
    FILE* in = std::fopen(path.c_str(), "rb");
    if (in == nullptr) return;
    std::unique_ptr<FILE, int (*)(FILE*)> inGuard(in, std::fclose);
    char line[kRdpLineLimit];
    bool found = false;
    while (!found && std::fgets(line, sizeof line, in) != nullptr) {
        found = std::strncmp(line, "[RDP]", 5) == 0;
    }
    if (!found) return;
    settings.remoteDesktopMode = true;
    if (!HasZrpExtension(path)) {
        DebugPrint(0,
                   "ERROR: The connection file %s does not end in .zrp; its [RDP] section is not "
                   "copied to a .rdp file.\n",
                   path.c_str());
        return;
    }
    std::string rdpPath = path.substr(0, path.size() - 3) + "rdp";
    FILE* out = std::fopen(rdpPath.c_str(), "wb");
    if (out == nullptr) return;
    std::unique_ptr<FILE, int (*)(FILE*)> outGuard(out, std::fclose);
    settings.remoteDesktopFile = rdpPath;
    while (std::fgets(line, sizeof line, in) != nullptr) {
        if (line[0] == '[' || line[0] == '\n' || line[0] == '\0' ||
            std::strcmp(line, "\r\n") == 0) {
            break;
        }
        std::fputs(line, out);
    }
}

}  // namespace

int ReadConnectionFile(const std::string& path, ClientSettings& settings, StatusMailbox& mailbox,
                       int monitorCount) {
    if (!platform::IsRegularFile(path)) {
        mailbox.PostError("Error reading .zrp file");
        return 1;
    }
    Reader r(path, settings, mailbox);

    r.Int("DemoMode", settings.demoMode);

    int version = 0;
    if (!r.Int("VersionRequired", version)) {
        r.Fail({"Error:  zRP Display Client cannot read VersionRequired.",
                "\nERROR: Unable to get VersionRequired from zRP File\n"});
        return 1;
    }
    if (version < kLowestFileVersion) {
        r.Fail({"Error:  Incorrect zrp file version.", "\nERROR: Incorrect zrp file version.\n"});
        return 1;
    }

    r.RequiredWord("DeviceUserName", settings.deviceUserName,
                   {"Error:  zRP Display Client cannot read username.",
                    "\nERROR: Unable to get username from zRP File\n"});
    auto passwordLine = r.Line("Password");
    if (passwordLine) r.ReadPassword(*passwordLine);
    if (!r.Int("SessionID", settings.sessionID)) {
        settings.sessionID = 0;
        r.Fail({"Error:  zRP Display Client cannot read SessionID.",
                "\nERROR: Unable to get SessionID from zRP File\n"});
    }
    r.RequiredWord("DisplayServerAddress", settings.displayServerAddress,
                   {"Error:  zRP Display Client cannot read ServerAddress.",
                    "\nERROR: Unable to get ServerAddress from zRP File\n"});
    if (!r.Word("DisplayServerName", settings.displayServerName)) {
        settings.displayServerName = "Unknown";
        r.Fail({"Error:  zRP Display Client cannot read DisplayServerName.",
                "\nERROR: Unable to get DisplayServerName from zRP File\n"},
               false);
    }
    r.RequiredInt("DisplayServerPort", settings.displayServerPort,
                  {"Error:  zRP Display Client cannot read Server Port.",
                   "\nERROR: Unable to get Server Port from zRP File\n"});
    r.RequiredInt("DisplayBandwidth", settings.displayBandwidth,
                  {"Error:  zRP Display Client cannot read Bandwidth.",
                   "\nERROR: Unable to get Bandwidth from zRP File\n"});
    r.ReadServerCode();
    r.Int("DisplayWidth", settings.displayWidth);
    r.Int("DisplayHeight", settings.displayHeight);
    r.Int("DisplayVisual", settings.displayVisual);
    r.Int("DisplayDepth", settings.displayDepth);
    r.Int("UseGLPlus", settings.useGLPlus);
    r.ReadMonitors(monitorCount);
    r.Int("UseFullScreenMode", settings.useFullScreenMode);
    r.Int("UseSeamlessWindowingMode", settings.useSeamlessWindowingMode);
    r.Word("ProjectID", settings.projectID);
    r.Int("ProtocolType", settings.protocolType);
    r.Int("UseProxy", settings.useProxy);
    r.Word("ProxyHost", settings.proxyHost);
    r.Int("ProxyPort", settings.proxyPort);
    r.Int("NoRetries", settings.noRetries);
    r.Int("NoShowServer", settings.noShowServer);
    if (r.Int("KeyMapNumber", settings.keyMapNumber)) {
        DebugPrint(1, "DEBUG: KeyMapNumber %d requested.\n", settings.keyMapNumber);
    }
    r.Int("DisableDiscButton", settings.disableDiscButton);
    r.Int("ReverseCursorColor", settings.reverseCursorColor);
    r.Int("GrabKeyboard", settings.grabKeyboard);
    ReadClipboardSettings(path, kConnectionSection, false, settings);
    ReadTlsTrustSetting(path, kConnectionSection, false, settings);

    if (!passwordLine) r.ReadTicket();

    ExtractRemoteDesktopSection(path, settings);
    settings.connectionFilePath = path;
    return 0;
}

}  // namespace corvane
