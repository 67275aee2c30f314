#include "config/text_line_reader.h"

#include <cerrno>

namespace corvane {

TextLineReader::TextLineReader(const std::string& path) : m_file(std::fopen(path.c_str(), "rb")) {
    if (!m_file) m_openError = errno;
}

bool TextLineReader::Next(std::string& line, size_t limit) {
    line.clear();
    m_cutShort = false;
    if (!m_file || limit < 2) return false;
    FILE* f = m_file.get();
    while (line.size() < limit - 1) {
        int c = std::getc(f);
        if (c == EOF) return !line.empty() && !std::ferror(f);
        if (c == '\r') {
            int next = std::getc(f);
            if (next == '\n') {
                c = '\n';
            } else if (next != EOF) {
                std::ungetc(next, f);
            }
        }
        line.push_back(static_cast<char>(c));
        if (c == '\n') return true;
    }
    int peek = std::getc(f);
    if (peek != EOF) {
        std::ungetc(peek, f);
        m_cutShort = true;
    }
    return true;
}

bool TextLineReader::Failed() const { return m_file && std::ferror(m_file.get()) != 0; }

}  // namespace corvane
