// The registry values the client reads, kept in a text file laid out like a .reg file:
//
//   [HKEY_LOCAL_MACHINE\Software\Halden Systems]
//   QELINI=/usr/local/share/corvane/qel.ini
//
// A key is present when its section is in the file, a value when its line is; both match
// without regard to case, as registry names do. The user's documents folder ("Personal" under
// the shell-folders key) falls back to the desktop's documents folder when no file gives it.
//
// A Registry is an immutable snapshot; it may be read from any thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace corvane::platform {

inline constexpr std::string_view kHaldenSystemsKey =
    "HKEY_LOCAL_MACHINE\\Software\\Halden Systems";
inline constexpr std::string_view kShellFoldersKey =
    "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

class Registry {
public:
    // The file named by CORVANE_REGISTRY when set, else the user's file
    // ($XDG_CONFIG_HOME/corvane/registry), else the installed system file.
    [[nodiscard]] static Registry Load();
    // One file; a missing or unreadable file gives an empty registry.
    [[nodiscard]] static Registry LoadFile(const std::string& path);
    // The path Load() would read.
    [[nodiscard]] static std::string DefaultPath();

    [[nodiscard]] bool HasKey(std::string_view key) const;
    [[nodiscard]] std::optional<std::string> Value(std::string_view key,
                                                   std::string_view name) const;

private:
    struct Section {
        std::string key;
        std::vector<std::pair<std::string, std::string>> values;
    };
    [[nodiscard]] const Section* Find(std::string_view key) const;

    std::vector<Section> m_sections;
};

}  // namespace corvane::platform
