// The process-wide text log.
//
// Every thread writes through DebugPrint. The debug level decides what is written: levels 50
// to 69 are topics written only when the level equals them exactly (errors, level 0 and
// below, always pass); any other level writes every record at or below it. Until the log is
// opened, and whenever it cannot be, records go to the standard error stream.
//
// Each record reaches the stream in one write, so records from different threads never
// interleave. All functions may be called from any thread.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace corvane {

// The debug level (PrintDebug). Set once at start-up; read by every record.
void SetDebugLevel(int level);
[[nodiscard]] int DebugLevel();

// True when a record of this level would be written at the current debug level.
[[nodiscard]] bool LogLevelPasses(int level);

// Writes the timestamp prefix and the formatted message, then flushes. Callers end their
// messages with "\n" themselves.
void DebugPrint(int level, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Opens the log truncated ("w+") or for appending ("a+"). On failure records go to the
// standard error stream and nothing is reported. The path is kept for trimming.
void OpenLog(const std::string& path);
void OpenLogForAppend(const std::string& path);

// The current stream; standard error until a log is opened.
[[nodiscard]] FILE* GetLogStream();

// Trimming of the prefixed variants below: once the file reaches the size cap it is cut to
// its last min(keep size, cap / 2) bytes, from just after a line feed.
void SetLogSizeCap(int32_t bytes);
void SetLogKeepSize(int32_t bytes);

// Prefixed variants: no timestamp; the prefix is written only for levels above 0. The two
// that return text return the formatted message with line feeds turned into blanks (empty
// when the level test fails), for display by the caller.
std::string LogSocketText(int level, const char* format, ...) __attribute__((format(printf, 2, 3)));
std::string LogProtocolText(int level, const char* format, ...)
    __attribute__((format(printf, 2, 3)));
void LogComponentText(int level, const char* format, ...) __attribute__((format(printf, 2, 3)));
// "sock: LABEL:  a.b.c.d" for an address of `count` bytes.
void LogAddressDump(int level, const char* label, const uint8_t* bytes, int count);

// Restores the state of a fresh process (stream unset, level 0). For tests only.
void ResetLogForTesting();

}  // namespace corvane
