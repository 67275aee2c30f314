// The test server's TLS identity: a self-signed certificate for 127.0.0.1 and its key,
// made at start-up with the OpenSSL API (clients do not verify it). Any thread.
#pragma once

#include <optional>

#include "protocol/stream_connection.h"

namespace corvane::testserver {

// An EC P-256 key and a certificate valid from an hour ago for thirty days; nothing when a
// step of OpenSSL fails.
[[nodiscard]] std::optional<TlsIdentity> MakeSelfSignedIdentity();

}  // namespace corvane::testserver
