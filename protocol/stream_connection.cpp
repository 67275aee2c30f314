// The TCP side of the stream connection: opening, plain reads and writes, closing, socket
// buffers. The TLS steps are in tls_session.cpp, the proxy exchange in proxy_connect.cpp.
#include "protocol/stream_connection.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "config/error_box.h"
#include "config/log.h"

namespace corvane {

namespace {

// The transfer records print the socket where a pointer is expected, as they always have.
void* SocketAsPointer(int socket) {
    return reinterpret_cast<void*>(static_cast<intptr_t>(socket));
}

// perror style, with an errno saved before anything else could change it.
void ReportErrno(const char* text, int err) {
    errno = err;
    std::perror(text);
}

// Finds the IPv4 address of a host: a dotted address as it stands, anything else by lookup
// (the first address found).
bool ResolveHost(const std::string& host, in_addr& address) {
    if (inet_pton(AF_INET, host.c_str(), &address) == 1) return true;
    if (host.empty()) return false;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) return false;
    std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> owner(found, &freeaddrinfo);
    for (const addrinfo* entry = found; entry != nullptr; entry = entry->ai_next) {
        if (entry->ai_family == AF_INET && entry->ai_addr != nullptr &&
            entry->ai_addrlen >= sizeof(sockaddr_in)) {
            sockaddr_in ipv4;
            std::memcpy(&ipv4, entry->ai_addr, sizeof ipv4);
            address = ipv4.sin_addr;
            return true;
        }
    }
    return false;
}

// A blocking connect that a signal interrupted goes on in the background; wait for its end.
int ConnectSocket(int socket, const sockaddr_in& address) {
    if (::connect(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
        return 0;
    }
    if (errno != EINTR) return errno;
    for (;;) {
        pollfd entry{socket, POLLOUT, 0};
        int ready = ::poll(&entry, 1, -1);
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) return errno;
        int err = 0;
        socklen_t length = sizeof err;
        if (getsockopt(socket, SOL_SOCKET, SO_ERROR, &err, &length) != 0) return errno;
        return err;
    }
}

}  // namespace

StreamConnection::SocketCall::SocketCall(StreamConnection& connection) : m_connection(connection) {
    std::lock_guard lock(m_connection.m_callMutex);
    m_admitted = !m_connection.m_closed;
    if (m_admitted) ++m_connection.m_activeCalls;
}

StreamConnection::SocketCall::~SocketCall() {
    if (!m_admitted) return;
    std::lock_guard lock(m_connection.m_callMutex);
    if (--m_connection.m_activeCalls == 0) m_connection.m_callsDone.notify_all();
}

StreamConnection::StreamConnection(StreamRole role, TlsIdentity identity)
    : m_role(role), m_identity(std::move(identity)) {}

StreamConnection::~StreamConnection() = default;

void StreamConnection::SetTransportMode(int mode) {
    m_transportMode = mode;
}

bool StreamConnection::UsesTls() const {
    return m_transportMode == 1;
}

void StreamConnection::SetProxyRequest(bool flag, const std::string& targetHost, int targetPort) {
    m_proxyFlag = flag;
    m_proxyHost = targetHost;
    m_proxyPort = targetPort;
}

void StreamConnection::Reopen() {
    {
        std::lock_guard lock(m_callMutex);
        m_closed = false;
    }
    m_closing = false;
}

int StreamConnection::OpenConnection(const std::string& host, int port) {
    Reopen();
    m_broken = false;
    if (port < 1 || port > 65535) {
        DebugPrint(0, "ZRPSH:  Invalid port %d for %s\n", port, host.c_str());
        return -1;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    if (!ResolveHost(host, address.sin_addr)) {
        DebugPrint(0, "ZRPSH:  %s: Unknown host.\n", host.c_str());
        return -1;
    }

    int socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (socket < 0) {
        ReportErrno("ZRPSH:  Error opening communication socket", errno);
        return socket;
    }

    DebugPrint(1, "ZRPSH:   Connecting to server %s:%d\n", host.c_str(), port);
    if (int err = ConnectSocket(socket, address); err != 0) {
        DebugPrint(1, "ZRPSH:  Error connecting to %s:%d  Error code %d\n", host.c_str(), port,
                   WinsockCodeFromErrno(err));
        ReportErrno("Error connecting socket", err);
        ::close(socket);
        return -1;
    }

    int noDelay = 1;
    if (setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay) != 0) {
        DebugPrint(0, "ZRPSH:  Error setting socket options\n");
        ::close(socket);
        return -1;
    }

    DebugPrint(1, "ZRPSH:   Connection established to server %s:%d\n", host.c_str(), port);
    return socket;
}

int StreamConnection::zRPshRead(int socket, void* buffer, int n) {
    if (n < 0 || (buffer == nullptr && n > 0)) {
        DebugPrint(0, "zRPshRead: refused a read of %d bytes\n", n);
        return -1;
    }
    if (n == 0) return 0;
    SocketCall call(*this);
    if (!call.Admitted()) {
        DebugPrint(0, "zRPshRead: the connection is closed\n");
        return -1;
    }
    auto* bytes = static_cast<uint8_t*>(buffer);
    return UsesTls() ? ReadTls(bytes, n) : ReadPlain(socket, bytes, n);
}

int StreamConnection::zRPshWrite(int socket, const void* buffer, int n) {
    if (n < 0 || (buffer == nullptr && n > 0)) {
        DebugPrint(0, "zRPshWrite: refused a write of %d bytes\n", n);
        return -1;
    }
    if (n == 0) return 0;
    SocketCall call(*this);
    if (!call.Admitted()) {
        DebugPrint(0, "zRPshWrite: the connection is closed\n");
        return -1;
    }
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    return UsesTls() ? WriteTls(bytes, n) : WritePlain(socket, bytes, n);
}

int StreamConnection::ReadPlain(int socket, uint8_t* bytes, int n) {
    DebugPrint(5, "++++ Starting read of %d bytes to %p ++++\n", n, SocketAsPointer(socket));
    int done = 0;
    while (done < n) {
        ssize_t got = ::recv(socket, bytes + done, static_cast<size_t>(n - done), 0);
        if (got < 0 && errno == EINTR) continue;
        // A socket left non-blocking by an earlier TLS session: wait as a blocking one would.
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) && WaitForSocket(socket, POLLIN)) {
            continue;
        }
        if (got < 1) {
            const int code = got < 0 ? WinsockCodeFromErrno(errno) : 0;
            const int result = got < 0 ? -1 : 0;
            DebugPrint(0, "zRPshRead: this_read %d. Error reading socket: %d\n", result, code);
            return result;
        }
        done += static_cast<int>(got);
    }
    DebugPrint(5, "++++ Finished reading %d bytes to %p ++++\n", n, SocketAsPointer(socket));
    return n;
}

int StreamConnection::WritePlain(int socket, const uint8_t* bytes, int n) {
    DebugPrint(5, "++++ Starting write of %d bytes to %p ++++\n", n, SocketAsPointer(socket));
    int done = 0;
    while (done < n) {
        // MSG_NOSIGNAL: a peer that has gone away must fail the write, not end the process.
        ssize_t sent = ::send(socket, bytes + done, static_cast<size_t>(n - done), MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) continue;
        if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) &&
            WaitForSocket(socket, POLLOUT)) {
            continue;
        }
        if (sent < 1) return sent < 0 ? -1 : 0;
        done += static_cast<int>(sent);
    }
    DebugPrint(5, "++++ Finished writing %d bytes to %p ++++\n", n, SocketAsPointer(socket));
    return n;
}

bool StreamConnection::WaitForSocket(int socket, short events) {
    for (;;) {
        if (m_closing) return false;
        pollfd entry{socket, events, 0};
        int ready = ::poll(&entry, 1, -1);
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0 || (entry.revents & POLLNVAL) != 0) return false;
        // Ready, or failed (POLLERR, POLLHUP): the next call on the socket reports which.
        return !m_closing;
    }
}

void StreamConnection::SetSocketBlocking(int socket, bool blocking) {
    int flags = fcntl(socket, F_GETFL);
    if (flags < 0) return;
    const int wanted = blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK);
    if (wanted != flags) (void)fcntl(socket, F_SETFL, wanted);  // a closed socket fails later
}

int StreamConnection::Close(int socket) {
    ++m_closes;
    {
        std::lock_guard lock(m_callMutex);
        m_closed = true;
    }
    m_closing = true;
    // Wakes every call blocked on the socket; closing only after they have left keeps the
    // descriptor from being reused under them.
    ::shutdown(socket, SHUT_RDWR);
    {
        std::unique_lock lock(m_callMutex);
        m_callsDone.wait(lock, [this] { return m_activeCalls == 0; });
    }
    {
        std::lock_guard lock(m_sslMutex);
        if (socket == m_sslSocket) m_sslSocket = -1;
    }
    ::close(socket);
    return 0;
}

void StreamConnection::SetSocketBuffers(int socket) {
    // The buffers are raised to at least 8192 bytes but never shrunk: fixing the receive
    // buffer that small turns off the kernel's tuning and leaves a window of 16 KB, which
    // holds a full-screen update to about 100 KB/s even on loopback.
    constexpr int kMinimumSize = 8192;
    for (int option : {SO_RCVBUF, SO_SNDBUF}) {
        int current = 0;
        socklen_t length = sizeof current;
        if (getsockopt(socket, SOL_SOCKET, option, &current, &length) == 0 && current >= kMinimumSize) {
            continue;
        }
        int size = kMinimumSize;
        if (setsockopt(socket, SOL_SOCKET, option, &size, sizeof size) != 0) {
            DebugPrint(0, "ZRPSH:  Error setting socket buffer sizes: %d\n",
                       WinsockCodeFromErrno(errno));
        }
    }
    LogSocketBuffers(socket);
}

void StreamConnection::LogSocketBuffers(int socket) {
    int sendSize = 0;
    int receiveSize = 0;
    socklen_t length = sizeof sendSize;
    (void)getsockopt(socket, SOL_SOCKET, SO_SNDBUF, &sendSize, &length);  // 0 is logged
    length = sizeof receiveSize;
    (void)getsockopt(socket, SOL_SOCKET, SO_RCVBUF, &receiveSize, &length);
    DebugPrint(1, "Socket SendBuffer size = %d\n", sendSize);
    DebugPrint(1, "Socket ReceiveBuffer size = %d\n", receiveSize);
}

}  // namespace corvane
