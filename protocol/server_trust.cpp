#include "protocol/server_trust.h"

#include <openssl/evp.h>
#include <openssl/x509.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "config/log.h"

namespace corvane {

namespace {

std::string ServerName(const TlsTrustPolicy& policy) {
    return policy.host + ":" + std::to_string(policy.port);
}

std::string Folder(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

// Creates the folder and those above it, readable by the user alone.
bool MakeFolders(const std::string& folder) {
    struct stat st {};
    if (::stat(folder.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
    const std::string parent = Folder(folder);
    if (parent != folder && !MakeFolders(parent)) return false;
    return ::mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST;
}

// Replaces the file with `text`: written to a temporary file beside it, flushed to disk and
// renamed over it, so a failure never leaves a half-written list.
bool ReplaceFile(const std::string& path, const std::string& text) {
    if (!MakeFolders(Folder(path))) return false;
    std::string temporary = path + ".XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) return false;
    bool ok = true;
    for (size_t done = 0; ok && done < text.size();) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        ok = n > 0;
        if (ok) done += static_cast<size_t>(n);
    }
    ok = ::fsync(fd) == 0 && ok;
    ok = ::close(fd) == 0 && ok;
    ok = ok && std::rename(temporary.c_str(), path.c_str()) == 0;
    if (!ok) ::unlink(temporary.c_str());
    return ok;
}

}  // namespace

std::string DefaultKnownServersPath() {
    const char* configHome = std::getenv("XDG_CONFIG_HOME");
    std::string folder;
    if (configHome != nullptr && *configHome == '/') {
        folder = configHome;
    } else {
        const char* home = std::getenv("HOME");
        folder = std::string(home != nullptr ? home : "") + "/.config";
    }
    return folder + "/corvane/known_servers";
}

std::string CertificateFingerprint(X509* certificate) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (certificate == nullptr || X509_digest(certificate, EVP_sha256(), digest, &length) != 1) return {};
    std::string text;
    char pair[4];
    for (unsigned int i = 0; i < length; ++i) {
        std::snprintf(pair, sizeof pair, i == 0 ? "%02X" : ":%02X", digest[i]);
        text += pair;
    }
    return text;
}

std::string CheckFirstUse(const TlsTrustPolicy& policy, const std::string& fingerprint) {
    const std::string server = ServerName(policy);
    if (fingerprint.empty()) return "Error:  The server " + server + " showed no certificate.";

    std::string kept;
    std::string known;
    {
        std::ifstream file(policy.knownServersPath);
        std::string line;
        while (std::getline(file, line)) {
            std::istringstream words(line);
            std::string name;
            std::string value;
            if (words >> name >> value && name == server && known.empty()) known = value;
            kept += line + "\n";
        }
    }
    if (known == fingerprint) return {};
    if (!known.empty()) {
        return "Error:  The certificate of " + server + " has changed.\r\n"
               "Trusted:   SHA-256 " + known + "\r\n"
               "Presented: SHA-256 " + fingerprint + "\r\n"
               "If the server was given a new certificate, remove the line of " + server +
               " from " + policy.knownServersPath + " and connect again.";
    }
    if (!ReplaceFile(policy.knownServersPath, kept + server + " " + fingerprint + "\n")) {
        return "Error:  The certificate of " + server + " cannot be remembered in " +
               policy.knownServersPath + ": " + std::strerror(errno);
    }
    DebugPrint(1, "ZRPSH:  First connection to %s: its certificate SHA-256 %s is now trusted\n",
               server.c_str(), fingerprint.c_str());
    return {};
}

}  // namespace corvane
