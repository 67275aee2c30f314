// The byte stream between client and server: a TCP connection, optionally carrying TLS,
// optionally reached through an HTTP proxy with CONNECT.
//
// Everything above this layer (framing, information blocks, the session list) reads and
// writes exactly n bytes through zRPshRead and zRPshWrite and does not know whether TLS is
// in use. One StreamConnection serves one connection; the same class serves the server end
// of a connection in the test server (Role::Server: TLS accept instead of connect).
//
// Threads: the connection is set up (open, attach, handshake, release) on one thread while
// no other thread uses it. After that one thread may read while any number of others write,
// each whole message under the caller's send lock. TLS calls are serialised by a lock of
// this class that is never held while waiting for the socket, so a write is never held up
// by a read waiting for the server.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>

typedef struct ssl_st SSL;
typedef struct ssl_ctx_st SSL_CTX;

namespace corvane {

enum class StreamRole { Client, Server };

// What a server end needs for TLS: PEM text of its certificate and private key.
struct TlsIdentity {
    std::string certificatePem;
    std::string privateKeyPem;
};

class StreamConnection {
public:
    explicit StreamConnection(StreamRole role = StreamRole::Client, TlsIdentity identity = {});
    ~StreamConnection();
    StreamConnection(const StreamConnection&) = delete;
    StreamConnection& operator=(const StreamConnection&) = delete;

    // TLS is used exactly when the mode is 1 (ProtocolType).
    void SetTransportMode(int mode);
    [[nodiscard]] bool UsesTls() const;

    // The CONNECT request made by the next AttachSsl when the flag is set (TLS mode only).
    void SetProxyRequest(bool flag, const std::string& targetHost, int targetPort);

    // A connected TCP socket with TCP_NODELAY, or a negative value. A dotted address is used
    // without a name lookup.
    [[nodiscard]] int OpenConnection(const std::string& host, int port);

    // The TLS steps; each does nothing in plain mode.
    void StartSslLibrary();
    [[nodiscard]] int CreateSslContext();  // 0 on success, -1 on failure
    void AttachSsl(int socket);            // the proxy exchange first, when requested
    [[nodiscard]] int SslHandshake();      // the handshake's result (1 in plain mode)
    void ReleaseSsl();

    // Read or write exactly n bytes. n on success; 0 when the peer closed the connection;
    // -1 on any other failure (partial transfers are lost to the caller).
    [[nodiscard]] int zRPshRead(int socket, void* buffer, int n);
    [[nodiscard]] int zRPshWrite(int socket, const void* buffer, int n);

    // Shuts the socket down (waking a reader blocked on it) and closes it. Returns 0.
    int Close(int socket);

    // Sets SO_RCVBUF and SO_SNDBUF to 8192 and logs the sizes read back.
    void SetSocketBuffers(int socket);

private:
    // ... implementation state (helper fills in)
};

}  // namespace corvane
