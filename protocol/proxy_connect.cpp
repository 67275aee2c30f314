// The HTTP proxy exchange: a CONNECT request to the proxy, made in the clear before the
// first TLS handshake of a connection.
#include <array>
#include <cstdio>
#include <cstring>

#include "config/log.h"
#include "protocol/stream_connection.h"

namespace corvane {

bool StreamConnection::ProxyExchange(int socket) {
    // Request and reply travel unencrypted between the client and the proxy.
    m_transportMode = 0;
    std::array<char, 512> buf{};
    const char* host = m_proxyHost.c_str();
    const int requestLength = std::snprintf(
        buf.data(), buf.size(),
        "CONNECT %s:%d HTTP/1.1\r\nUser-Agent: Corvane/5.30 (X11; en-US)\r\nHost: %s:%d\r\n\r\n",
        host, m_proxyPort, host, m_proxyPort);
    bool ok = true;
    if (requestLength < 0 || static_cast<size_t>(requestLength) >= buf.size()) {
        DebugPrint(0, "ZRPSH:  The proxy request for %s:%d does not fit in %zu bytes\n", host,
                   m_proxyPort, buf.size());
        ok = false;
    } else if (zRPshWrite(socket, buf.data(), requestLength) != requestLength) {
        DebugPrint(0, "ZRPSH:  Unable to send the request to the proxy\n");
        ok = false;
    }

    // The reply header, one byte at a time so that nothing behind it is taken from the
    // stream. Its status line is not examined: a refusal fails the handshake that follows.
    // The header must leave room for the terminating zero of the log record.
    size_t count = 0;
    while (ok) {
        if (count == buf.size() - 1) {
            DebugPrint(0, "ZRPSH:  The proxy reply header is longer than %zu bytes: giving up\n",
                       buf.size() - 1);
            ok = false;
            break;
        }
        if (zRPshRead(socket, &buf[count], 1) != 1) {
            DebugPrint(0,
                       "ZRPSH:  The proxy ended its reply after %zu bytes, before the end of "
                       "its header\n",
                       count);
            ok = false;
            break;
        }
        ++count;
        if (buf[count - 1] == '\n' && count >= 4 &&
            std::memcmp(&buf[count - 4], "\r\n\r\n", 4) == 0) {
            break;
        }
    }
    if (ok) {
        buf[count] = '\0';
        DebugPrint(0, "buf = >>>>%s<<<<\n", buf.data());
    }
    m_transportMode = 1;
    return ok;
}

}  // namespace corvane
