// The TLS side of the stream connection: library start, context, session, handshake and the
// TLS reads and writes.
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <arpa/inet.h>
#include <poll.h>

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <mutex>

#include "config/log.h"
#include "protocol/stream_connection.h"

namespace corvane {

namespace {

// CallTls's error code when no session is attached.
constexpr int kNoSession = -1;

// The zeros a client writes after every handshake, and the server end reads.
constexpr int kHandshakeZeros = 24;

// The TLS records print objects as 32-bit numbers, as they always have.
unsigned PointerBits(const void* pointer) {
    return static_cast<unsigned>(reinterpret_cast<uintptr_t>(pointer));
}

// The TLS library writes to its socket with write(), which raises SIGPIPE when the peer has
// gone. The process ignores the signal (write then fails with EPIPE), unless the program has
// a handler of its own.
void IgnoreSigpipeOnce() {
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction current {};
        if (sigaction(SIGPIPE, nullptr, &current) != 0) return;
        if ((current.sa_flags & SA_SIGINFO) != 0 || current.sa_handler != SIG_DFL) return;
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        sigemptyset(&ignore.sa_mask);
        (void)sigaction(SIGPIPE, &ignore, nullptr);  // without it writes may still raise
    });
}

struct BioFree {
    void operator()(BIO* bio) const { BIO_free(bio); }
};
struct X509Free {
    void operator()(X509* certificate) const { X509_free(certificate); }
};
struct PkeyFree {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};

std::unique_ptr<BIO, BioFree> PemSource(const std::string& pem) {
    return std::unique_ptr<BIO, BioFree>(
        BIO_new_mem_buf(pem.data(), static_cast<int>(std::min<size_t>(pem.size(), INT32_MAX))));
}

bool UseIdentity(SSL_CTX* context, const TlsIdentity& identity) {
    auto certificateSource = PemSource(identity.certificatePem);
    auto keySource = PemSource(identity.privateKeyPem);
    if (!certificateSource || !keySource) return false;
    std::unique_ptr<X509, X509Free> certificate(
        PEM_read_bio_X509(certificateSource.get(), nullptr, nullptr, nullptr));
    std::unique_ptr<EVP_PKEY, PkeyFree> key(
        PEM_read_bio_PrivateKey(keySource.get(), nullptr, nullptr, nullptr));
    return certificate && key && SSL_CTX_use_certificate(context, certificate.get()) == 1 &&
           SSL_CTX_use_PrivateKey(context, key.get()) == 1 &&
           SSL_CTX_check_private_key(context) == 1;
}

}  // namespace

void StreamConnection::SslDeleter::operator()(SSL* ssl) const {
    SSL_free(ssl);
}

void StreamConnection::SslContextDeleter::operator()(SSL_CTX* context) const {
    SSL_CTX_free(context);
}

template <typename Call>
StreamConnection::TlsCallResult StreamConnection::CallTls(Call&& call) {
    for (;;) {
        TlsCallResult outcome{};
        {
            std::lock_guard lock(m_sslMutex);
            if (!m_ssl) return {-1, kNoSession};
            // SSL_get_error reads this thread's error queue: only this call's errors may be
            // in it.
            ERR_clear_error();
            outcome.result = call(m_ssl.get());
            outcome.error = SSL_get_error(m_ssl.get(), outcome.result);
        }
        short events = 0;
        if (outcome.error == SSL_ERROR_WANT_READ) {
            events = POLLIN;
        } else if (outcome.error == SSL_ERROR_WANT_WRITE) {
            events = POLLOUT;
        } else {
            return outcome;
        }
        if (!WaitForSocket(m_sslSocket, events)) return {-1, SSL_ERROR_SYSCALL};
    }
}

void StreamConnection::StartSslLibrary() {
    if (!UsesTls()) return;
    DebugPrint(64, "**** Calling SSL_library_init()\n");
    (void)OPENSSL_init_ssl(0, nullptr);  // a library that cannot start fails the context
    DebugPrint(64, "**** Calling SSL_load_error_strings()\n");
    (void)OPENSSL_init_ssl(OPENSSL_INIT_LOAD_SSL_STRINGS | OPENSSL_INIT_LOAD_CRYPTO_STRINGS,
                           nullptr);
    IgnoreSigpipeOnce();
}

int StreamConnection::CreateSslContext() {
    if (!UsesTls()) return 0;
    const SSL_METHOD* method =
        m_role == StreamRole::Client ? TLS_client_method() : TLS_server_method();
    DebugPrint(64, "**** Calling SSL_CTX_new(0x%x)\n", PointerBits(method));
    std::unique_ptr<SSL_CTX, SslContextDeleter> context(SSL_CTX_new(method));
    DebugPrint(64, "**** Returned 0x%x SSL_CTX_new()\n", PointerBits(context.get()));
    if (!context) {
        DebugPrint(0, "ZRPSH:  Unable to create the TLS context\n");
        return -1;
    }
    if (m_role == StreamRole::Client) {
        // The client shows no certificate of its own. It checks the server's against the
        // system's authorities only when asked to; trust on first use compares fingerprints
        // after the handshake instead.
        if (m_trust.mode == kTlsTrustSystemCa) {
            if (SSL_CTX_set_default_verify_paths(context.get()) != 1) {
                DebugPrint(0, "ZRPSH:  The system's certificate authorities cannot be loaded\n");
            }
            SSL_CTX_set_verify(context.get(), SSL_VERIFY_PEER, nullptr);
        } else {
            SSL_CTX_set_verify(context.get(), SSL_VERIFY_NONE, nullptr);
        }
    } else {
        if (!UseIdentity(context.get(), m_identity)) {
            DebugPrint(0, "ZRPSH:  Unable to use the TLS certificate and key\n");
            return -1;
        }
        // A session is freed without a shutdown and a new handshake follows on the same
        // stream: a session ticket the client has not read yet would meet the new session.
        (void)SSL_CTX_set_num_tickets(context.get(), 0);  // cannot fail on a server context
    }
    m_sslContext = std::move(context);
    return 0;
}

void StreamConnection::AttachSsl(int socket) {
    Reopen();
    m_trustRefusal.clear();
    if (!UsesTls()) return;
    if (m_proxyFlag && !ProxyExchange(socket)) {
        m_broken = true;
        return;
    }
    if (m_broken) {
        DebugPrint(0, "ZRPSH:  No TLS session: the connection failed at the proxy\n");
        return;
    }
    if (!m_sslContext) {
        DebugPrint(0, "ZRPSH:  No TLS session: there is no TLS context\n");
        return;
    }
    DebugPrint(64, "**** Calling SSL_new(0x%x)\n", PointerBits(m_sslContext.get()));
    std::unique_ptr<SSL, SslDeleter> ssl(SSL_new(m_sslContext.get()));
    DebugPrint(64, "**** Returned 0x%x SSL_new()\n", PointerBits(ssl.get()));
    if (!ssl) {
        DebugPrint(0, "ZRPSH:  Unable to create the TLS session\n");
        return;
    }
    DebugPrint(64, "**** Calling SSL_set_fd(%d)\n", socket);
    const int attached = SSL_set_fd(ssl.get(), socket);
    DebugPrint(64, "**** Returned %d SSL_set_fd()\n", attached);
    if (attached != 1) {
        DebugPrint(0, "ZRPSH:  Unable to attach the TLS session to socket %d\n", socket);
        return;
    }
    if (m_role == StreamRole::Client && m_trust.mode == kTlsTrustSystemCa && !NameTheServer(ssl.get())) {
        DebugPrint(0, "ZRPSH:  Unable to ask for the host name %s in the certificate\n", m_trust.host.c_str());
        return;
    }
    // Non-blocking, so that a read waiting for the peer never holds the TLS lock that a
    // writer on another thread needs.
    SetSocketBlocking(socket, false);
    std::lock_guard lock(m_sslMutex);
    m_ssl = std::move(ssl);
    m_sslSocket = socket;
}

int StreamConnection::SslHandshake() {
    if (!UsesTls()) return 1;
    SocketCall call(*this);
    if (!call.Admitted() || m_broken) {
        DebugPrint(0, "ZRPSH:  No TLS handshake: the connection is closed or failed\n");
        return -1;
    }
    return m_role == StreamRole::Client ? ClientHandshake() : ServerHandshake();
}

int StreamConnection::ClientHandshake() {
    DebugPrint(64, "**** Calling SSL_connect()\n");
    const TlsCallResult outcome = CallTls([](SSL* ssl) { return SSL_connect(ssl); });
    if (outcome.error == kNoSession) {
        DebugPrint(0, "ZRPSH:  No TLS session to hand-shake\n");
        return -1;
    }
    DebugPrint(64, "**** Return %d from SSL_connect()\n", outcome.result);
    if (outcome.result < 0) DebugPrint(64, "**** Error %d from SSL_connect()\n", outcome.error);
    m_trustRefusal = TrustDecision(outcome.result == 1);
    if (!m_trustRefusal.empty()) {
        // Nothing, the password least of all, goes to a server that is not trusted.
        DebugPrint(0, "%s\n", m_trustRefusal.c_str());
        std::lock_guard lock(m_sslMutex);
        m_ssl.reset();
        return -1;
    }
    // The server reads these after every handshake. Their fate is not checked: a handshake
    // or write that failed shows in the exchange that follows.
    static constexpr uint8_t kZeros[kHandshakeZeros] = {};
    (void)WriteTls(kZeros, kHandshakeZeros);
    return outcome.result;
}

bool StreamConnection::NameTheServer(SSL* ssl) const {
    const std::string& host = m_trust.host;
    unsigned char address[16];
    const bool literal = inet_pton(AF_INET, host.c_str(), address) == 1 ||
                         inet_pton(AF_INET6, host.c_str(), address) == 1;
    // An address is checked against the certificate's addresses, a name against its names.
    if (literal) return X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl), host.c_str()) == 1;
    return SSL_set_tlsext_host_name(ssl, host.c_str()) == 1 && SSL_set1_host(ssl, host.c_str()) == 1;
}

std::string StreamConnection::TrustDecision(bool handshaken) {
    if (m_trust.mode == kTlsTrustNone) return {};
    std::lock_guard lock(m_sslMutex);
    if (!m_ssl) return "Error:  No TLS session with " + m_trust.host + ".";
    if (m_trust.mode == kTlsTrustSystemCa) {
        const long verified = SSL_get_verify_result(m_ssl.get());
        if (verified != X509_V_OK) {
            return "Error:  The certificate of " + m_trust.host + ":" + std::to_string(m_trust.port) +
                   " is not trusted:\r\n" + X509_verify_cert_error_string(verified);
        }
        return {};
    }
    // First use: only a completed handshake has a certificate to compare.
    if (!handshaken) return {};
    std::unique_ptr<X509, X509Free> certificate(SSL_get1_peer_certificate(m_ssl.get()));
    return CheckFirstUse(m_trust, CertificateFingerprint(certificate.get()));
}

void StreamConnection::SetTlsTrust(TlsTrustPolicy policy) { m_trust = std::move(policy); }

int StreamConnection::ServerHandshake() {
    DebugPrint(64, "**** Calling SSL_accept()\n");
    const TlsCallResult outcome = CallTls([](SSL* ssl) { return SSL_accept(ssl); });
    if (outcome.error == kNoSession) {
        DebugPrint(0, "ZRPSH:  No TLS session to hand-shake\n");
        return -1;
    }
    DebugPrint(64, "**** Return %d from SSL_accept()\n", outcome.result);
    if (outcome.result < 0) DebugPrint(64, "**** Error %d from SSL_accept()\n", outcome.error);
    if (outcome.result != 1) return outcome.result;

    uint8_t zeros[kHandshakeZeros];
    const int got = ReadTls(zeros, kHandshakeZeros);
    if (got != kHandshakeZeros) {
        DebugPrint(0, "ZRPSH:  The client's %d zero bytes did not arrive after the handshake\n",
                   kHandshakeZeros);
        return -1;
    }
    if (std::any_of(std::begin(zeros), std::end(zeros), [](uint8_t b) { return b != 0; })) {
        DebugPrint(0, "ZRPSH:  The %d bytes after the handshake are not all zero\n",
                   kHandshakeZeros);
        return -1;
    }
    return 1;
}

void StreamConnection::ReleaseSsl() {
    if (!UsesTls()) return;
    std::lock_guard lock(m_sslMutex);
    if (m_ssl) {
        DebugPrint(64, "**** Calling SSL_free(0x%x)\n", PointerBits(m_ssl.get()));
        m_ssl.reset();  // no SSL_shutdown: the peer gets no close alert
    }
    if (m_sslContext) {
        DebugPrint(64, "**** Calling SSL_CTX_free(0x%x)\n", PointerBits(m_sslContext.get()));
        m_sslContext.reset();
    }
    if (m_sslSocket >= 0) SetSocketBlocking(m_sslSocket, true);
    m_sslSocket = -1;
}

int StreamConnection::ReadTls(uint8_t* bytes, int n) {
    DebugPrint(64, "**** Calling SSL_read(%d)\n", n);
    int done = 0;
    while (done < n) {
        const TlsCallResult outcome =
            CallTls([&](SSL* ssl) { return SSL_read(ssl, bytes + done, n - done); });
        if (outcome.error == kNoSession) {
            DebugPrint(0, "zRPshRead: no TLS session on the connection\n");
            return -1;
        }
        DebugPrint(64, "     SSL_read(%d) returned %d\n", n, outcome.result);
        if (outcome.error == SSL_ERROR_NONE && outcome.result > 0 && outcome.result <= n - done) {
            done += outcome.result;
            continue;
        }
        return outcome.error == SSL_ERROR_ZERO_RETURN ? 0 : -1;
    }
    return n;
}

int StreamConnection::WriteTls(const uint8_t* bytes, int n) {
    DebugPrint(64, "**** Calling SSL_write(%d)\n", n);
    int done = 0;
    while (done < n) {
        const TlsCallResult outcome =
            CallTls([&](SSL* ssl) { return SSL_write(ssl, bytes + done, n - done); });
        if (outcome.error == kNoSession) {
            DebugPrint(0, "zRPshWrite: no TLS session on the connection\n");
            return -1;
        }
        DebugPrint(64, "     SSL_write(%d) returned %d\n", n, outcome.result);
        if (outcome.error == SSL_ERROR_NONE && outcome.result > 0 && outcome.result <= n - done) {
            done += outcome.result;
            continue;
        }
        return outcome.error == SSL_ERROR_ZERO_RETURN ? 0 : -1;
    }
    return n;
}

}  // namespace corvane
