// The test server's event log: one line per event, in the form "event key=value ...", so
// that tests can wait for a line and grep its fields. Lines carry no timestamp, so that two
// runs of the same exchange log the same text.
//
// Any thread may write; each line is written whole and flushed before Write returns, so a
// test that reads the file sees every line that was logged before it looked.
#pragma once

#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

namespace corvane::testserver {

class EventLog {
  public:
    // Writes to the standard error stream.
    EventLog();
    // Writes to `path`, truncated. False from Open when it cannot be opened.
    [[nodiscard]] bool Open(const std::string& path);

    void Write(std::string_view line);

    // For benchmarks and tests that time what the server receives: `tap` is called with each
    // line as it is logged, on the thread that logs it, just before the line is written, and
    // under the log's lock, so calls come one at a time in the log's order. It must return
    // quickly: every writer waits for it. An empty function takes the tap away; without one,
    // Write costs a single test more.
    void SetTap(std::function<void(std::string_view line)> tap);

  private:
    struct FileClose {
        void operator()(FILE* file) const { std::fclose(file); }
    };
    std::mutex m_mutex;
    std::unique_ptr<FILE, FileClose> m_file;  // empty: standard error
    std::function<void(std::string_view)> m_tap;  // under m_mutex
};

// `text` between double quotes, with quotes, backslashes and bytes outside printable ASCII
// written as escapes (\" \\ \n \r \t \xHH), cut to `limit` bytes of text with "..." behind
// the closing quote when longer.
[[nodiscard]] std::string QuotedText(std::string_view text, size_t limit = 1024);

}  // namespace corvane::testserver
