// Both ends of one stream connection over loopback, set up the way the login sets up the
// client end and the test server its server end: plain or TLS, directly or through an HTTP
// proxy, with the TLS restart after the login.
#pragma once

#include <future>
#include <string>

#include "protocol/loopback_peer.h"
#include "protocol/stream_connection.h"
#include "protocol/tls_test_identity.h"

namespace corvane::test {

class StreamLink {
  public:
    explicit StreamLink(int transportMode, TlsIdentity serverIdentity = TestTlsIdentity())
        : server(StreamRole::Server, std::move(serverIdentity)) {
        client.SetTransportMode(transportMode);
        server.SetTransportMode(transportMode);
    }
    ~StreamLink() {
        if (clientSocket >= 0) (void)client.Close(clientSocket);
        if (serverSocket >= 0) (void)server.Close(serverSocket);
    }
    StreamLink(const StreamLink&) = delete;
    StreamLink& operator=(const StreamLink&) = delete;

    // Opens the connection (through the proxy at proxyPort when it is not 0) and, in TLS
    // mode, runs both handshakes at once. True when both ends are ready.
    [[nodiscard]] bool Connect(int proxyPort = 0) {
        if (!m_listener.ok()) return false;
        client.SetProxyRequest(proxyPort != 0, "127.0.0.1", m_listener.port());
        clientSocket =
            client.OpenConnection("127.0.0.1", proxyPort != 0 ? proxyPort : m_listener.port());
        if (clientSocket < 0) return false;
        // Through a proxy the server end hears of the connection only once the proxy has
        // the CONNECT request, which the client's attach sends: it accepts during the
        // handshake.
        if (proxyPort == 0) {
            serverSocket = m_listener.Accept().release();
            if (serverSocket < 0) return false;
        }
        return Handshake();
    }

    // Both ends free their TLS session without a shutdown and hand-shake again on the same
    // connection, as after the login.
    [[nodiscard]] bool RestartTls() {
        client.ReleaseSsl();
        server.ReleaseSsl();
        client.SetProxyRequest(false, "127.0.0.1", m_listener.port());
        return Handshake();
    }

    [[nodiscard]] int ServerPort() const { return m_listener.port(); }

    StreamConnection client{StreamRole::Client};
    StreamConnection server;
    int clientSocket = -1;
    int serverSocket = -1;
    int clientHandshake = 0;
    int serverHandshake = 0;

  private:
    bool Handshake() {
        client.StartSslLibrary();
        server.StartSslLibrary();
        if (client.CreateSslContext() != 0 || server.CreateSslContext() != 0) return false;
        Watchdog watchdog({clientSocket, serverSocket});  // the client's suffices for a proxy
        auto serverSide = std::async(std::launch::async, [this] {
            if (serverSocket < 0) serverSocket = m_listener.Accept().release();
            if (serverSocket < 0) return -1;
            server.AttachSsl(serverSocket);
            return server.SslHandshake();
        });
        client.AttachSsl(clientSocket);
        clientHandshake = client.SslHandshake();
        serverHandshake = serverSide.get();
        return clientHandshake == 1 && serverHandshake == 1 && !watchdog.Fired();
    }

    LoopbackListener m_listener;
};

}  // namespace corvane::test
