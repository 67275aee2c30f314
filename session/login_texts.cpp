#include "session/login_texts.h"

#include <cstdio>

namespace corvane {

std::string VersionText(int version) {
    char text[16];
    std::snprintf(text, sizeof text, "%d.%2.2d", version / 100, version % 100);
    return text;
}

namespace {

struct CodeText {
    int code;
    const char* text;
};

constexpr CodeText kConnectTexts[] = {
    {-1010, "Error:  Unable to communicate with\r\n           Corvane server."},
    {-1009, "Error:  Remote host had denied geometry\r\n          or display settings from this session."},
    {-1008, "Error:  Remote host has denied access\r\nfrom this local machine.  Contact Administrator."},
    {-1007, "Error:  User name, password or\r\nauthorization code is incorrect."},
    {-1006, "Error:  User license limit reached for this server."},
    {-1005, "Error:  Maximum number of users reached for this server.\r\nPlease contact System Administrator."},
    {-1004, "Error:  Server unable to allocate session memory.\r\nPlease contact System Administrator."},
    {-1003, "Error:  Collaboration  session refused by remote."},
    {-1002, "Error:  Invalid Session I.D."},
    {-1001, "Error:  The username or password you entered is incorrect."},
};

constexpr CodeText kFinalTexts[] = {
    {1, "Error:  The username or password you entered\r\n is incorrect."},
    {2, "Error:  Internal server error."},
    {3, "Error: Invalid Session I.D."},
    {4, "Error:  Server unable to allocate session memory.\r\nPlease contact System Administrator."},
    {5, "Error:  Maximum number of users reached for this server.\r\nPlease contact System Administrator."},
    {6, "Error:  User license limit reached for this server."},
    {7, "Error:  Requested session is unavailable.\r\nPlease try again."},
    {10, "Error:  Incorrect geometry or display settings."},
};

}  // namespace

bool IsKnownLoginFailure(int code) {
    if (code == -1) return true;
    for (const CodeText& entry : kConnectTexts) {
        if (entry.code == code) return true;
    }
    return false;
}

const char* LoginFailureText(int code, bool proxy) {
    if (code == -1) {
        return proxy ? "Error:  Unable to contact proxy host." : "Error:  Unable to contact remote host.";
    }
    for (const CodeText& entry : kConnectTexts) {
        if (entry.code == code) return entry.text;
    }
    return "Error:  Unknown connection error to remote host.";
}

const char* FinalStatusText(int status) {
    for (const CodeText& entry : kFinalTexts) {
        if (entry.code == status) return entry.text;
    }
    return nullptr;
}

const char* InitStatusText(uint32_t status, bool reconnecting) {
    switch (status) {
        // A reply too big for its buffer comes back as status 4 and ends the login like 5.
        case 4:
        case 5:
            return reconnecting ? "Error:  Lost communication or invalid server."
                                : "Error:  The session could not be started.\r\nPlease contact System Administrator.";
        case 6: return "Error:  Collaboration session refused by remote.";
        case 3: return "Error: Invalid Session I.D.";
        default: return nullptr;
    }
}

}  // namespace corvane
