#include "config/log.h"

#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <cstring>
#include <ctime>
#include <mutex>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/process.h"

namespace corvane {

namespace {

// The stream and its path change together (open, trim) and every record is written and
// flushed under this lock, so a record is never cut by another thread's record or by a
// trim that swaps the file underneath it.
std::mutex g_streamMutex;
FILE* g_stream = nullptr;  // unset until the first write or open
std::string g_path;

std::atomic<int> g_debugLevel{0};
std::atomic<int32_t> g_sizeCap{1'000'000};
std::atomic<int32_t> g_keepSize{500'000};

// Records that fit here are formatted without touching the heap.
constexpr size_t kRecordBuffer = 2048;

FILE* StreamLocked() {
    if (g_stream == nullptr) g_stream = stderr;
    return g_stream;
}

void WriteLocked(const char* data, size_t length) {
    FILE* stream = StreamLocked();
    std::fwrite(data, 1, length, stream);
    std::fflush(stream);
}

// The log may hold host names, user names and session details: it is created readable by
// its owner only, and a log file left by an earlier run with a wider mode is narrowed.
FILE* OpenPrivateFile(const std::string& path, bool append) {
    const int flags = O_RDWR | O_CREAT | O_CLOEXEC | (append ? O_APPEND : O_TRUNC);
    const int fd = ::open(path.c_str(), flags, 0600);
    if (fd < 0) return nullptr;
    struct stat st {};
    // Only a regular file of ours: a log pointed at a device or a shared file keeps its mode.
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid() &&
        (st.st_mode & 077) != 0) {
        (void)::fchmod(fd, st.st_mode & 0700);
    }
    FILE* stream = ::fdopen(fd, append ? "a+" : "w+");
    if (stream == nullptr) ::close(fd);
    return stream;
}

void OpenLocked(const std::string& path, bool append) {
    if (g_stream != nullptr && g_stream != stderr) std::fclose(g_stream);
    g_path = path;
    g_stream = OpenPrivateFile(path, append);
    if (g_stream == nullptr) g_stream = stderr;
}

// Cuts the log file to its tail once it reaches the size cap, keeping whole lines.
void ApplySizeCapLocked() {
    FILE* stream = StreamLocked();
    if (stream == stderr) return;
    std::fflush(stream);
    long size = std::ftell(stream);
    int32_t cap = g_sizeCap.load();
    if (size < 0 || size < cap) return;
    long keep = std::min<long>(g_keepSize.load(), cap / 2);
    if (keep <= 0 || keep > size) return;

    std::vector<char> tail(static_cast<size_t>(keep));
    if (std::fseek(stream, -keep, SEEK_END) != 0 ||
        std::fread(tail.data(), 1, tail.size(), stream) != tail.size()) {
        std::fseek(stream, 0, SEEK_END);
        return;
    }
    size_t start = 0;
    if (const void* lf = std::memchr(tail.data(), '\n', tail.size() - 1)) {
        start = static_cast<size_t>(static_cast<const char*>(lf) - tail.data()) + 1;
    }
    std::fclose(stream);
    g_stream = OpenPrivateFile(g_path, false);
    if (g_stream == nullptr) {
        g_stream = stderr;
        return;
    }
    std::fwrite(tail.data() + start, 1, tail.size() - start, g_stream);
    std::fflush(g_stream);
}

// "MM/DD/YY hh:mm:ss <microseconds> (<thread>) : " in UTC.
int FormatTimestamp(char* out, size_t size) {
    std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    int n = std::snprintf(out, size, "%2.2d/%2.2d/%2.2d %2.2d:%2.2d:%2.2d %llu (%5d) : ",
                          utc.tm_mon + 1, utc.tm_mday, utc.tm_year % 100, utc.tm_hour, utc.tm_min,
                          utc.tm_sec,
                          static_cast<unsigned long long>(platform::MonotonicMicroseconds()),
                          platform::CurrentThreadId());
    return std::clamp(n, 0, static_cast<int>(size) - 1);
}

// Formats `prefix` followed by the message and hands the whole record to `sink` in one
// piece. Short records stay on the stack; longer ones go to the heap.
template <typename Sink>
void FormatRecord(const char* prefix, size_t prefixLength, const char* format, va_list args,
                  Sink&& sink) {
    char stackBuffer[kRecordBuffer];
    std::memcpy(stackBuffer, prefix, prefixLength);
    va_list again;
    va_copy(again, args);
    int n = std::vsnprintf(stackBuffer + prefixLength, sizeof stackBuffer - prefixLength, format,
                           args);
    if (n < 0) {
        va_end(again);
        return;  // a record that cannot be formatted is dropped; logging never stops the caller
    }
    size_t total = prefixLength + static_cast<size_t>(n);
    if (total < sizeof stackBuffer) {
        va_end(again);
        sink(stackBuffer, total, prefixLength);
        return;
    }
    std::vector<char> heapBuffer(total + 1);
    std::memcpy(heapBuffer.data(), prefix, prefixLength);
    std::vsnprintf(heapBuffer.data() + prefixLength, heapBuffer.size() - prefixLength, format,
                   again);
    va_end(again);
    sink(heapBuffer.data(), total, prefixLength);
}

std::string WithoutLineFeeds(const char* text, size_t length) {
    std::string result(text, length);
    std::replace(result.begin(), result.end(), '\n', ' ');
    return result;
}

// The prefixed variants: no timestamp, the prefix only above level 0, trimming afterwards.
std::string WritePrefixed(int level, const char* prefix, const char* format, va_list args) {
    if (!LogLevelPasses(level)) return {};
    const char* written = level > 0 ? prefix : "";
    std::string message;
    FormatRecord(written, std::strlen(written), format, args,
                 [&](const char* record, size_t length, size_t prefixLength) {
                     message = WithoutLineFeeds(record + prefixLength, length - prefixLength);
                     std::lock_guard lock(g_streamMutex);
                     WriteLocked(record, length);
                     ApplySizeCapLocked();
                 });
    return message;
}

}  // namespace

void SetDebugLevel(int level) { g_debugLevel.store(level, std::memory_order_relaxed); }

int DebugLevel() { return g_debugLevel.load(std::memory_order_relaxed); }

bool LogLevelPasses(int level) {
    int debugLevel = DebugLevel();
    if (debugLevel >= 50 && debugLevel <= 69) return level == debugLevel || level <= 0;
    return level <= debugLevel;
}

void DebugPrint(int level, const char* format, ...) {
    if (!LogLevelPasses(level)) return;
    char prefix[96];
    int prefixLength = FormatTimestamp(prefix, sizeof prefix);
    va_list args;
    va_start(args, format);
    FormatRecord(prefix, static_cast<size_t>(prefixLength), format, args,
                 [](const char* record, size_t length, size_t) {
                     std::lock_guard lock(g_streamMutex);
                     WriteLocked(record, length);
                 });
    va_end(args);
}

void OpenLog(const std::string& path) {
    std::lock_guard lock(g_streamMutex);
    OpenLocked(path, false);
}

void OpenLogForAppend(const std::string& path) {
    std::lock_guard lock(g_streamMutex);
    OpenLocked(path, true);
}

FILE* GetLogStream() {
    std::lock_guard lock(g_streamMutex);
    return StreamLocked();
}

void SetLogSizeCap(int32_t bytes) { g_sizeCap.store(bytes); }

void SetLogKeepSize(int32_t bytes) { g_keepSize.store(bytes); }

std::string LogSocketText(int level, const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = WritePrefixed(level, "sock: ", format, args);
    va_end(args);
    return text;
}

std::string LogProtocolText(int level, const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = WritePrefixed(level, "zRP: ", format, args);
    va_end(args);
    return text;
}

void LogComponentText(int level, const char* format, ...) {
    va_list args;
    va_start(args, format);
    (void)WritePrefixed(level, " uVK: ", format, args);
    va_end(args);
}

void LogAddressDump(int level, const char* label, const uint8_t* bytes, int count) {
    if (!LogLevelPasses(level)) return;
    std::string text = label;
    text += ":  ";
    for (int i = 0; i < count; ++i) {
        text += std::to_string(bytes[i]);
        if (i < 3) text += '.';
    }
    text += '\n';
    (void)LogSocketText(level, "%s", text.c_str());
}

void ResetLogForTesting() {
    std::lock_guard lock(g_streamMutex);
    if (g_stream != nullptr && g_stream != stderr) std::fclose(g_stream);
    g_stream = nullptr;
    g_path.clear();
    g_debugLevel.store(0);
    g_sizeCap.store(1'000'000);
    g_keepSize.store(500'000);
}

}  // namespace corvane
