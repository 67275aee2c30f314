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
//
// In TLS mode the socket is switched to non-blocking while a TLS session is attached; every
// SSL_* call is made under the lock, and a call that must wait releases the lock and polls
// the socket. Reads still block (without a time-out) until the bytes arrive or the
// connection fails.
//
// SIGPIPE: the TLS library writes to the socket with plain write(), which raises SIGPIPE on
// a connection the peer has closed. StartSslLibrary therefore sets SIGPIPE to be ignored
// for the whole process, once, unless the program has installed a handler of its own.
// Plain writes use MSG_NOSIGNAL and need nothing of the kind.
//
// Close may be called from any thread while another is blocked in zRPshRead or zRPshWrite
// on the same socket: it shuts the socket down, which wakes the blocked call (it returns 0
// or -1), waits until no call is inside the socket any more and only then closes it. After
// Close, reads and writes fail at once until the next OpenConnection or AttachSsl.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "protocol/server_trust.h"

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
    // The proxy exchange first, when requested. A proxy whose reply header does not fit in
    // 511 bytes, or that ends the connection before the header is complete, fails the
    // attempt: no TLS session is attached and the handshake, reads and writes fail.
    void AttachSsl(int socket);
    // The handshake's result (1 on success; 1 in plain mode). A client end then writes 24
    // zero bytes through TLS; a server end accepts and then reads those 24 bytes, so that its
    // caller sees the stream from the first message on (-1 if they do not arrive as zeros).
    [[nodiscard]] int SslHandshake();
    // Frees the session and the context without a TLS shutdown (no close alert is sent).
    void ReleaseSsl();

    // How a client end trusts the server's certificate from the next CreateSslContext on.
    void SetTlsTrust(TlsTrustPolicy policy);
    // Why the last client handshake refused the server's certificate (the text for the user);
    // empty when it did not. A refused handshake leaves no TLS session: nothing more is sent.
    [[nodiscard]] const std::string& TrustRefusal() const { return m_trustRefusal; }

    // Read or write exactly n bytes. n on success; 0 when the peer closed the connection;
    // -1 on any other failure (partial transfers are lost to the caller).
    [[nodiscard]] int zRPshRead(int socket, void* buffer, int n);
    [[nodiscard]] int zRPshWrite(int socket, const void* buffer, int n);

    // Shuts the socket down (waking a reader blocked on it) and closes it. Returns 0.
    int Close(int socket);
    // How many times Close has run (for tests).
    [[nodiscard]] int Closes() const { return m_closes.load(); }

    // Sets SO_RCVBUF and SO_SNDBUF to 8192 and logs the sizes read back.
    void SetSocketBuffers(int socket);
    // Reads the socket's buffer sizes back and logs them.
    void LogSocketBuffers(int socket);

  private:
    struct SslDeleter {
        void operator()(SSL* ssl) const;
    };
    struct SslContextDeleter {
        void operator()(SSL_CTX* context) const;
    };
    // The outcome of one SSL_* call once it no longer has to wait for the socket.
    struct TlsCallResult {
        int result;
        int error;  // SSL_get_error's code
    };
    // Counts a read, write or handshake as inside the socket, so that Close can wait for it
    // to leave; a call made after Close is not admitted.
    class SocketCall {
      public:
        explicit SocketCall(StreamConnection& connection);
        ~SocketCall();
        SocketCall(const SocketCall&) = delete;
        SocketCall& operator=(const SocketCall&) = delete;
        [[nodiscard]] bool Admitted() const { return m_admitted; }

      private:
        StreamConnection& m_connection;
        bool m_admitted = false;
    };

    void Reopen();  // admits calls again after a Close

    [[nodiscard]] int ReadPlain(int socket, uint8_t* bytes, int n);
    [[nodiscard]] int WritePlain(int socket, const uint8_t* bytes, int n);
    [[nodiscard]] int ReadTls(uint8_t* bytes, int n);
    [[nodiscard]] int WriteTls(const uint8_t* bytes, int n);
    // Runs `call` on the attached session under the lock until it no longer asks to wait
    // for the socket; waits outside the lock.
    template <typename Call>
    [[nodiscard]] TlsCallResult CallTls(Call&& call);
    // Blocks until the socket is ready for `events` or has failed; false once Close has begun
    // or the socket is no longer valid.
    [[nodiscard]] bool WaitForSocket(int socket, short events);
    [[nodiscard]] bool ProxyExchange(int socket);
    [[nodiscard]] int ClientHandshake();
    // Asks the handshake to check the certificate names the server (system authorities).
    [[nodiscard]] bool NameTheServer(SSL* ssl) const;
    // Empty when the server is trusted after a handshake that did (or did not) complete;
    // otherwise the refusal for the user.
    [[nodiscard]] std::string TrustDecision(bool handshaken);
    [[nodiscard]] int ServerHandshake();
    void SetSocketBlocking(int socket, bool blocking);

    const StreamRole m_role;
    const TlsIdentity m_identity;

    // Set up on one thread before the stream is shared; only read afterwards.
    int m_transportMode = 0;
    bool m_proxyFlag = false;
    std::string m_proxyHost;
    int m_proxyPort = 0;

    std::mutex m_sslMutex;  // held around every SSL_* call on m_ssl, never while waiting
    std::unique_ptr<SSL_CTX, SslContextDeleter> m_sslContext;
    std::unique_ptr<SSL, SslDeleter> m_ssl;
    int m_sslSocket = -1;

    // A proxy exchange that failed leaves the stream unusable until the next OpenConnection.
    std::atomic<bool> m_broken{false};

    TlsTrustPolicy m_trust;       // set up with the other settings before the stream is shared
    std::string m_trustRefusal;   // set by the client handshake

    std::mutex m_callMutex;
    std::condition_variable m_callsDone;
    int m_activeCalls = 0;  // under m_callMutex
    bool m_closed = false;  // under m_callMutex
    std::atomic<bool> m_closing{false};
    std::atomic<int> m_closes{0};
};

}  // namespace corvane
