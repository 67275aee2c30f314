// A recorded session: the bytes the server wrote after the login, frame after frame in their
// envelopes (deflated and enciphered with the server code), before any TLS. Every frame
// stands on its own (each body is deflated alone, and the cipher key depends only on the
// server code), so the bytes can be sent again on another connection once a login has granted
// the same geometry under the same server code; what a client then draws is what the
// recorded client drew.
//
// The file: the magic "CVREPLAY", then little-endian u32 version, i32 width, height, depth,
// u32 CRC-32 of the server code, u32 updates (image updates and drawing requests sent), u64
// byte count, then the bytes. The counts are written when the recording is closed, so a
// recording cut short by a crash reads as incomplete rather than as a shorter session.
//
// A RecordingWriter belongs to the thread that writes the session; ReadRecording is a pure
// function of the file: any thread.
#pragma once

#include <cstdint>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "tools/testserver/session_list.h"

namespace corvane::testserver {

inline constexpr size_t kRecordingHeaderSize = 40;

[[nodiscard]] uint32_t ServerCodeCheck(std::string_view serverCode);

struct Recording {
    SessionGeometry geometry;  // width, height and depth; the visual class follows the depth
    uint32_t serverCodeCheck = 0;
    uint32_t updates = 0;
    std::vector<uint8_t> bytes;
};

class RecordingWriter {
  public:
    // Creates (or truncates) the file and writes a header that marks it incomplete; false
    // when it cannot be written.
    [[nodiscard]] bool Open(const std::string& path, const SessionGeometry& geometry, std::string_view serverCode);
    [[nodiscard]] bool IsOpen() const { return m_file.is_open(); }
    // Bytes as they went to the client. False once a write has failed.
    bool Append(const uint8_t* bytes, size_t size);
    void CountUpdate() { ++m_updates; }
    // Writes the counts and closes the file; false when any write failed.
    [[nodiscard]] bool Close();

  private:
    std::ofstream m_file;
    SessionGeometry m_geometry;
    uint32_t m_serverCodeCheck = 0;
    uint32_t m_updates = 0;
    uint64_t m_bytes = 0;
    bool m_failed = false;
};

// Reads a whole recording; false with the reason in `error` when the file is missing, not a
// recording, of another version, or incomplete.
[[nodiscard]] bool ReadRecording(const std::string& path, Recording& recording, std::string& error);

}  // namespace corvane::testserver
