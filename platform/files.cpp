#include "platform/files.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

namespace corvane::platform {

bool IsRegularFile(const std::string& path) {
    struct stat st {};
    return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool IsDirectory(const std::string& path) {
    struct stat st {};
    return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsReadable(const std::string& path) {
    return !path.empty() && access(path.c_str(), R_OK) == 0;
}

bool MakeDirectory(const std::string& path) {
    if (mkdir(path.c_str(), 0755) == 0) return true;
    return errno == EEXIST && IsDirectory(path);
}

std::string JoinPath(const std::string& dir, const std::string& name) {
    if (dir.empty()) return name;
    if (dir.back() == '/') return dir + name;
    return dir + "/" + name;
}

namespace {

std::string HomeFolder() {
    const char* home = std::getenv("HOME");
    return home != nullptr ? home : "";
}

// XDG_DOCUMENTS_DIR="$HOME/Documents" as user-dirs.dirs writes it.
std::string DocumentsFromUserDirs() {
    const char* configHome = std::getenv("XDG_CONFIG_HOME");
    std::string config = (configHome != nullptr && *configHome != '\0')
                             ? std::string(configHome)
                             : JoinPath(HomeFolder(), ".config");
    FILE* f = std::fopen(JoinPath(config, "user-dirs.dirs").c_str(), "r");
    if (f == nullptr) return "";
    std::string result;
    char line[1024];
    const char* key = "XDG_DOCUMENTS_DIR=\"";
    while (std::fgets(line, sizeof line, f) != nullptr) {
        if (std::strncmp(line, key, std::strlen(key)) != 0) continue;
        std::string value = line + std::strlen(key);
        size_t quote = value.find('"');
        if (quote == std::string::npos) break;
        value.resize(quote);
        if (value.rfind("$HOME", 0) == 0) value = HomeFolder() + value.substr(5);
        result = value;
        break;
    }
    std::fclose(f);
    return result;
}

}  // namespace

std::string DocumentsFolder() {
    const char* env = std::getenv("XDG_DOCUMENTS_DIR");
    if (env != nullptr && IsDirectory(env)) return env;
    std::string fromFile = DocumentsFromUserDirs();
    if (IsDirectory(fromFile)) return fromFile;
    std::string home = HomeFolder();
    return IsDirectory(home) ? home : "";
}

}  // namespace corvane::platform
