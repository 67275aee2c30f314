// A fresh directory under the system's temporary folder, removed with everything in it when
// the object goes out of scope.
#pragma once

#include <string>

namespace corvane::test {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    [[nodiscard]] const std::string& path() const { return m_path; }
    // path() + "/" + name
    [[nodiscard]] std::string file(const std::string& name) const;
    // Writes the bytes to path()/name, creating folders and replacing the file; returns its
    // path.
    std::string write(const std::string& name, const std::string& bytes) const;

private:
    std::string m_path;
};

// The whole content of a file; empty when it cannot be read.
std::string ReadWholeFile(const std::string& path);

}  // namespace corvane::test
