// Reads a text file in bounded pieces, as the configuration files have always been read:
// each call returns at most `limit - 1` characters, up to and including a line feed; a
// longer line continues with the next call. CR LF is read as LF. NUL bytes and other
// binary garbage pass through as bytes and never overrun anything.
//
// One reader belongs to one thread.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

namespace corvane {

class TextLineReader {
public:
    explicit TextLineReader(const std::string& path);

    [[nodiscard]] bool IsOpen() const { return m_file != nullptr; }

    // The next piece into `line`; false at the end of the file or on a read error.
    [[nodiscard]] bool Next(std::string& line, size_t limit);

    // True when the last Next() stopped on a read error rather than the end of the file.
    [[nodiscard]] bool Failed() const;

    // True when the last piece stopped at the limit with more of its line still to come.
    [[nodiscard]] bool CutShort() const { return m_cutShort; }

    // The errno of a failed open.
    [[nodiscard]] int OpenError() const { return m_openError; }

private:
    struct Closer {
        void operator()(FILE* f) const { std::fclose(f); }
    };
    std::unique_ptr<FILE, Closer> m_file;
    int m_openError = 0;
    bool m_cutShort = false;
};

}  // namespace corvane
