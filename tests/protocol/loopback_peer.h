// Loopback sockets for the stream tests: a listener on 127.0.0.1, raw peer reads and writes
// that give up after a bound instead of hanging a faulty test, and a watchdog that shuts
// sockets down when a test overruns its bound so that every blocked call returns.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace corvane::test {

using namespace std::chrono_literals;

inline constexpr std::chrono::milliseconds kTestBound = 20s;

// Owns a descriptor.
class UniqueFd {
  public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : m_fd(fd) {}
    ~UniqueFd() { reset(); }
    UniqueFd(UniqueFd&& other) noexcept : m_fd(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    [[nodiscard]] int get() const { return m_fd; }
    int release() {
        int fd = m_fd;
        m_fd = -1;
        return fd;
    }
    void reset(int fd = -1) {
        if (m_fd >= 0) ::close(m_fd);
        m_fd = fd;
    }

  private:
    int m_fd = -1;
};

inline int Remaining(std::chrono::steady_clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

// Waits for `events` on the descriptor until the deadline; false on time-out.
inline bool WaitFor(int fd, short events, std::chrono::steady_clock::time_point deadline) {
    for (;;) {
        pollfd entry{fd, events, 0};
        int ready = ::poll(&entry, 1, Remaining(deadline));
        if (ready < 0 && errno == EINTR) continue;
        return ready > 0;
    }
}

// A listening TCP socket on 127.0.0.1 with a port of the system's choosing.
class LoopbackListener {
  public:
    LoopbackListener() {
        m_fd.reset(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (m_fd.get() < 0 ||
            ::bind(m_fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(m_fd.get(), 8) != 0 ||
            ::getsockname(m_fd.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            m_fd.reset();
            return;
        }
        m_port = ntohs(address.sin_port);
    }

    [[nodiscard]] bool ok() const { return m_fd.get() >= 0; }
    [[nodiscard]] int port() const { return m_port; }

    // One connection, or an invalid descriptor when none arrives within the bound.
    UniqueFd Accept(std::chrono::milliseconds bound = kTestBound) {
        if (!WaitFor(m_fd.get(), POLLIN, std::chrono::steady_clock::now() + bound)) return {};
        return UniqueFd(::accept4(m_fd.get(), nullptr, nullptr, SOCK_CLOEXEC));
    }

    void Close() { m_fd.reset(); }

  private:
    UniqueFd m_fd;
    int m_port = 0;
};

// A port on 127.0.0.1 that nothing listens on (at the time of asking).
inline int UnusedLoopbackPort() {
    LoopbackListener listener;
    return listener.port();
}

// Connects a raw socket to 127.0.0.1:port; an invalid descriptor on failure.
inline UniqueFd ConnectRaw(int port) {
    UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    if (fd.get() < 0 ||
        ::connect(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        return {};
    }
    return fd;
}

// Writes every byte, `chunk` bytes per send; false on failure or time-out.
inline bool SendAll(int fd, const void* data, size_t size, size_t chunk = SIZE_MAX,
                    std::chrono::milliseconds bound = kTestBound) {
    const auto deadline = std::chrono::steady_clock::now() + bound;
    const auto* bytes = static_cast<const uint8_t*>(data);
    size_t done = 0;
    while (done < size) {
        if (!WaitFor(fd, POLLOUT, deadline)) return false;
        ssize_t sent = ::send(fd, bytes + done, std::min(chunk, size - done), MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) continue;
        if (sent <= 0) return false;
        done += static_cast<size_t>(sent);
    }
    return true;
}

inline bool SendAll(int fd, const std::string& text) {
    return SendAll(fd, text.data(), text.size());
}

// Reads up to `size` bytes, `chunk` bytes per recv, until they are all there, the peer
// closes, or the bound runs out. Returns what arrived.
inline std::string ReceiveUpTo(int fd, size_t size, size_t chunk = SIZE_MAX,
                               std::chrono::milliseconds bound = kTestBound) {
    const auto deadline = std::chrono::steady_clock::now() + bound;
    std::string bytes(size, '\0');
    size_t done = 0;
    while (done < size) {
        if (!WaitFor(fd, POLLIN, deadline)) break;
        ssize_t got = ::recv(fd, bytes.data() + done, std::min(chunk, size - done), 0);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        done += static_cast<size_t>(got);
    }
    bytes.resize(done);
    return bytes;
}

// Reads until the text ends with `terminator` (or the bound runs out / the peer closes).
inline std::string ReceiveUntil(int fd, const std::string& terminator,
                                std::chrono::milliseconds bound = kTestBound) {
    const auto deadline = std::chrono::steady_clock::now() + bound;
    std::string text;
    while (text.size() < terminator.size() ||
           text.compare(text.size() - terminator.size(), terminator.size(), terminator) != 0) {
        if (!WaitFor(fd, POLLIN, deadline)) break;
        char byte = 0;
        ssize_t got = ::recv(fd, &byte, 1, 0);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        text.push_back(byte);
    }
    return text;
}

// Shuts the watched sockets down if it is still running when the bound runs out, so that
// every call blocked on them returns and the test fails instead of hanging.
class Watchdog {
  public:
    explicit Watchdog(std::vector<int> sockets, std::chrono::milliseconds bound = kTestBound)
        : m_sockets(std::move(sockets)), m_thread([this, bound] { Watch(bound); }) {}
    ~Watchdog() {
        {
            std::lock_guard lock(m_mutex);
            m_done = true;
        }
        m_wake.notify_all();
        m_thread.join();
    }
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

    [[nodiscard]] bool Fired() {
        std::lock_guard lock(m_mutex);
        return m_fired;
    }

  private:
    void Watch(std::chrono::milliseconds bound) {
        std::unique_lock lock(m_mutex);
        if (m_wake.wait_for(lock, bound, [this] { return m_done; })) return;
        m_fired = true;
        for (int socket : m_sockets) ::shutdown(socket, SHUT_RDWR);
    }

    std::vector<int> m_sockets;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_done = false;
    bool m_fired = false;
    std::thread m_thread;
};

}  // namespace corvane::test
