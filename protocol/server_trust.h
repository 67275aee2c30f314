// Whether a TLS server's certificate is trusted: the policy a connection is made with, the
// certificate's fingerprint, and the user's file of servers trusted on first use.
//
// The known-servers file holds one line per server, "HOST:PORT SHA256-FINGERPRINT", the
// fingerprint as colon-separated upper-case hexadecimal pairs. It lives in the user's
// configuration folder and is rewritten whole (a temporary file renamed over it) when a server
// is added. Called on the thread that sets the connection up.
#pragma once

#include <string>

#include "config/tls_trust_setting.h"

typedef struct x509_st X509;

namespace corvane {

struct TlsTrustPolicy {
    int mode = kTlsTrustNone;   // TlsTrust
    std::string host;           // the server as the user named it (never a proxy)
    int port = 0;
    std::string knownServersPath;  // first use: where the fingerprints are kept
};

// $XDG_CONFIG_HOME/corvane/known_servers, else ~/.config/corvane/known_servers.
[[nodiscard]] std::string DefaultKnownServersPath();

// The SHA-256 of the certificate's DER form as "AB:CD:...", empty when it cannot be made.
[[nodiscard]] std::string CertificateFingerprint(X509* certificate);

// Trust on first use for `fingerprint`: empty when the server is trusted, remembering it when
// it was not known (a server that cannot be remembered is refused); otherwise the refusal,
// a text for the user that shows both fingerprints and how to accept the new certificate.
[[nodiscard]] std::string CheckFirstUse(const TlsTrustPolicy& policy, const std::string& fingerprint);

}  // namespace corvane
