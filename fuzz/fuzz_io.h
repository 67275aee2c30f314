// What the stream and file parsers' fuzz targets share: a scratch folder of the process's own
// for the files they read, a socket pair whose far end holds the server's bytes and then
// ends, and the frame list that lets the fuzzer write message bodies as they are before the
// envelope is applied.
#pragma once

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include "protocol/frame_builder.h"

namespace corvane::fuzz {

namespace detail {
inline std::string& ScratchPath() {
    static std::string path;
    return path;
}
}  // namespace detail

// A folder under the system's temporary folder, made once and removed when the process ends,
// so that runs side by side never read each other's files.
inline const std::string& ScratchDir() {
    std::string& path = detail::ScratchPath();
    if (path.empty()) {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "corvane-fuzz-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) __builtin_trap();
        path = pattern;
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(detail::ScratchPath(), ignored);
        });
    }
    return path;
}

// Writes the bytes to `name` in the scratch folder, replacing what was there; the full path.
inline std::string ScratchFile(const std::string& name, const uint8_t* data, size_t size,
                               std::string_view prefix = {}) {
    const std::string path = ScratchDir() + "/" + name;
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) __builtin_trap();
    if (!prefix.empty()) std::fwrite(prefix.data(), 1, prefix.size(), file);
    if (size > 0) std::fwrite(data, 1, size, file);
    std::fclose(file);
    return path;
}

// A connected pair of sockets: the client reads its end, the test writes the server's bytes
// into the other and then ends the stream, so that a read past the input sees the peer's close
// instead of waiting for ever.
class SocketPair {
  public:
    SocketPair() {
        if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, m_fds) != 0) __builtin_trap();
        // Room for a whole input: it is written before anything reads.
        const int room = 4 << 20;
        (void)setsockopt(m_fds[1], SOL_SOCKET, SO_SNDBUF, &room, sizeof room);
        (void)setsockopt(m_fds[0], SOL_SOCKET, SO_RCVBUF, &room, sizeof room);
    }
    ~SocketPair() {
        close(m_fds[0]);
        close(m_fds[1]);
    }
    SocketPair(const SocketPair&) = delete;
    SocketPair& operator=(const SocketPair&) = delete;

    [[nodiscard]] int Client() const { return m_fds[0]; }
    [[nodiscard]] int Server() const { return m_fds[1]; }

    // Queues the bytes for the client without waiting; what does not fit is dropped.
    void Send(const uint8_t* data, size_t size) {
        while (size > 0) {
            const ssize_t sent = send(m_fds[1], data, size, MSG_DONTWAIT | MSG_NOSIGNAL);
            if (sent <= 0) return;
            data += sent;
            size -= static_cast<size_t>(sent);
        }
    }
    void EndOfStream() { shutdown(m_fds[1], SHUT_WR); }

  private:
    int m_fds[2] = {-1, -1};
};

// Sends a list of message bodies, each put into a frame the way a server frames it:
//   one byte: the envelope in bits 0..2 (4 to 7 are envelopes nobody knows) and, in bit 7,
//             whether the body is deflated before the envelope's cipher is applied;
//   two bytes: the body's length, little-endian (cut to what the input still holds);
//   the body, in wire order.
// So the fuzzer writes what the reader sees after deciphering and inflating, and the cipher
// and deflate steps are exercised with bodies that make sense behind them.
inline void SendFrameList(SocketPair& pair, const uint8_t* data, size_t size,
                          std::string_view serverCode) {
    FrameBuilder frame;
    while (size >= 3) {
        const uint16_t envelope = data[0] & 0x07;
        const BodyCoding coding = (data[0] & 0x80) != 0 ? BodyCoding::Deflate : BodyCoding::AsIs;
        size_t length = data[1] | size_t{data[2]} << 8;
        data += 3;
        size -= 3;
        if (length > size) length = size;
        if (frame.Build(envelope, data, length, serverCode, coding))
            pair.Send(frame.data(), frame.size());
        data += length;
        size -= length;
    }
}

}  // namespace corvane::fuzz
