#include "platform/registry.h"

#include <cstdlib>
#include <fstream>
#include <strings.h>

#include "platform/files.h"

namespace corvane::platform {

namespace {

bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

std::string_view TrimLineEnd(std::string_view s) {
    while (!s.empty() && (s.back() == '\r' || s.back() == '\n')) s.remove_suffix(1);
    return s;
}

}  // namespace

std::string Registry::DefaultPath() {
    const char* env = std::getenv("CORVANE_REGISTRY");
    if (env != nullptr && *env != '\0') return env;
    const char* configHome = std::getenv("XDG_CONFIG_HOME");
    const char* home = std::getenv("HOME");
    std::string userFile;
    if (configHome != nullptr && *configHome != '\0') {
        userFile = JoinPath(configHome, "corvane/registry");
    } else if (home != nullptr && *home != '\0') {
        userFile = JoinPath(home, ".config/corvane/registry");
    }
    if (IsRegularFile(userFile)) return userFile;
    return JoinPath(CORVANE_SYSCONF_DIR, "corvane/registry");
}

Registry Registry::Load() { return LoadFile(DefaultPath()); }

Registry Registry::LoadFile(const std::string& path) {
    Registry registry;
    std::ifstream in(path);
    std::string raw;
    Section* current = nullptr;
    while (std::getline(in, raw)) {
        std::string_view line = TrimLineEnd(raw);
        if (line.empty() || line.front() == ';' || line.front() == '#') continue;
        if (line.front() == '[') {
            size_t close = line.find(']');
            if (close == std::string_view::npos) {
                current = nullptr;
                continue;
            }
            registry.m_sections.push_back({std::string(line.substr(1, close - 1)), {}});
            current = &registry.m_sections.back();
            continue;
        }
        size_t eq = line.find('=');
        if (current == nullptr || eq == std::string_view::npos) continue;
        current->values.emplace_back(std::string(line.substr(0, eq)),
                                     std::string(line.substr(eq + 1)));
    }
    return registry;
}

const Registry::Section* Registry::Find(std::string_view key) const {
    for (const Section& s : m_sections) {
        if (SameName(s.key, key)) return &s;
    }
    return nullptr;
}

bool Registry::HasKey(std::string_view key) const {
    if (SameName(key, kShellFoldersKey) && !DocumentsFolder().empty()) return true;
    return Find(key) != nullptr;
}

std::optional<std::string> Registry::Value(std::string_view key, std::string_view name) const {
    if (const Section* s = Find(key)) {
        for (const auto& [valueName, value] : s->values) {
            if (SameName(valueName, name)) return value;
        }
    }
    if (SameName(key, kShellFoldersKey) && SameName(name, "Personal")) {
        std::string documents = DocumentsFolder();
        if (!documents.empty()) return documents;
    }
    return std::nullopt;
}

}  // namespace corvane::platform
