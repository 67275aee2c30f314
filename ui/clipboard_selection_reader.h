// Reads another program's X11 selection (the clipboard or the primary selection) as text, on
// a thread of its own over a connection of its own to the X server.
//
// Asking the owner of a selection for its contents means waiting for that program to answer,
// which can take seconds (or forever, when it hangs); a large text arrives in many pieces.
// The toolkit's clipboard would wait on the GUI thread and stop its painting meanwhile, so the
// windows never read another program's clipboard through it: they ask here and get the text
// back later. An owner that does not answer within kSelectionPatience costs nothing but a log
// record.
//
// Read() and the destructor belong to one thread (the GUI thread); the answer is delivered
// on the reader's own thread.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace corvane {

inline constexpr auto kSelectionPatience = std::chrono::seconds(5);
// More than the longest text the clipboard exchange takes, in any encoding.
inline constexpr size_t kSelectionReadLimit = 100'000'000;

class SelectionReader {
public:
    enum class Selection { Clipboard, Primary };
    // The text in UTF-8; nothing when the selection has no owner, holds no text, or its owner
    // did not answer in time.
    using Done = std::function<void(std::optional<std::string>)>;

    // Connects to the X server named by DISPLAY. Valid() is false when it cannot.
    SelectionReader();
    ~SelectionReader();
    SelectionReader(const SelectionReader&) = delete;
    SelectionReader& operator=(const SelectionReader&) = delete;

    [[nodiscard]] bool Valid() const { return m_valid; }

    // Starts a read; `done` is called on the reader's thread once it ends. A read asked for
    // while another is waiting to start replaces it (the replaced one is never answered).
    void Read(Selection which, Done done);

private:
    struct Connection;

    void Run();
    [[nodiscard]] std::optional<std::string> ReadNow(Selection which);

    std::unique_ptr<Connection> m_x;  // used by the reader thread only, once it runs
    bool m_valid = false;

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::optional<Selection> m_pending;  // under m_mutex
    Done m_pendingDone;                  // under m_mutex
    bool m_stopping = false;             // under m_mutex
    std::atomic<bool> m_abandon{false};  // a read in progress gives up
    std::thread m_thread;
};

}  // namespace corvane
