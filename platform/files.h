// File-system questions and small actions the configuration code asks of the platform.
// Paths are joined with '/'. All functions may be called from any thread.
#pragma once

#include <string>

namespace corvane::platform {

// True when the path names an existing regular file (after following links).
[[nodiscard]] bool IsRegularFile(const std::string& path);

// True when the path names an existing directory.
[[nodiscard]] bool IsDirectory(const std::string& path);

// True when the calling process may read the file.
[[nodiscard]] bool IsReadable(const std::string& path);

// Creates one directory (its parent must exist). True when it exists afterwards.
[[nodiscard]] bool MakeDirectory(const std::string& path);

// "dir/name"; just `name` when dir is empty.
[[nodiscard]] std::string JoinPath(const std::string& dir, const std::string& name);

// The user's documents folder: XDG_DOCUMENTS_DIR (environment, then user-dirs.dirs), else
// $HOME. Empty when none of them names an existing directory.
[[nodiscard]] std::string DocumentsFolder();

}  // namespace corvane::platform
