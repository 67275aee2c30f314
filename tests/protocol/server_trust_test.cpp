// Trusting a server through the system's certificate authorities: a certificate that chains
// to a trusted authority and names the host the client asked for is taken; one that names
// another host, or that no trusted authority signed, is refused before anything is sent.
#include "protocol/server_trust.h"

#include <gtest/gtest.h>

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "config/log.h"
#include "protocol/stream_link.h"
#include "support/temp_dir.h"

namespace corvane {
namespace {

using test::detail::PemText;
using test::detail::PkeyFree;
using test::detail::X509Free;

// A certificate for `key`, issued by `issuerName` with `issuerKey`, with the extensions given
// as "name=value" pairs of the OpenSSL configuration syntax.
std::unique_ptr<X509, X509Free> Certificate(EVP_PKEY* key, const char* commonName, X509* issuer,
                                            EVP_PKEY* issuerKey,
                                            std::initializer_list<std::pair<int, const char*>> extensions) {
    std::unique_ptr<X509, X509Free> certificate(X509_new());
    X509_set_version(certificate.get(), 2);
    ASN1_INTEGER_set(X509_get_serialNumber(certificate.get()), 2);
    X509_gmtime_adj(X509_getm_notBefore(certificate.get()), -3600);
    X509_gmtime_adj(X509_getm_notAfter(certificate.get()), 86400);
    X509_set_pubkey(certificate.get(), key);
    X509_NAME_add_entry_by_txt(X509_get_subject_name(certificate.get()), "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>(commonName), -1, -1, 0);
    X509* signer = issuer != nullptr ? issuer : certificate.get();
    X509_set_issuer_name(certificate.get(), X509_get_subject_name(signer));
    X509V3_CTX context;
    X509V3_set_ctx(&context, signer, certificate.get(), nullptr, nullptr, 0);
    for (const auto& [nid, value] : extensions) {
        X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
        EXPECT_NE(extension, nullptr) << value;
        X509_add_ext(certificate.get(), extension, -1);
        X509_EXTENSION_free(extension);
    }
    EXPECT_NE(X509_sign(certificate.get(), issuerKey, EVP_sha256()), 0);
    return certificate;
}

class ServerTrustTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetLogForTesting();
        m_caKey.reset(EVP_EC_gen("P-256"));
        m_ca = Certificate(m_caKey.get(), "Test Authority", nullptr, m_caKey.get(),
                           {{NID_basic_constraints, "critical,CA:TRUE"},
                            {NID_key_usage, "critical,keyCertSign,cRLSign"}});
        const std::string caFile = m_dir.write("authorities.pem", PemText([&](BIO* bio) {
                                                   return PEM_write_bio_X509(bio, m_ca.get());
                                               }));
        // The system's authorities, as OpenSSL looks them up, are this one alone.
        const char* before = std::getenv("SSL_CERT_FILE");
        m_certFileBefore = before != nullptr ? std::optional<std::string>(before) : std::nullopt;
        ::setenv("SSL_CERT_FILE", caFile.c_str(), 1);
        ::setenv("SSL_CERT_DIR", m_dir.file("no-such-folder").c_str(), 1);
    }
    void TearDown() override {
        if (m_certFileBefore) {
            ::setenv("SSL_CERT_FILE", m_certFileBefore->c_str(), 1);
        } else {
            ::unsetenv("SSL_CERT_FILE");
        }
        ::unsetenv("SSL_CERT_DIR");
        ResetLogForTesting();
    }

    // A server identity for `names` (subjectAltName), signed by the test authority or by itself.
    TlsIdentity Identity(const char* names, bool signedByTheAuthority) {
        std::unique_ptr<EVP_PKEY, PkeyFree> key(EVP_EC_gen("P-256"));
        auto certificate = Certificate(key.get(), "server", signedByTheAuthority ? m_ca.get() : nullptr,
                                       signedByTheAuthority ? m_caKey.get() : key.get(),
                                       {{NID_subject_alt_name, names}});
        TlsIdentity identity;
        identity.certificatePem = PemText([&](BIO* bio) { return PEM_write_bio_X509(bio, certificate.get()); });
        identity.privateKeyPem = PemText([&](BIO* bio) {
            return PEM_write_bio_PrivateKey(bio, key.get(), nullptr, nullptr, 0, nullptr, nullptr);
        });
        return identity;
    }

    test::TempDir m_dir;
    std::unique_ptr<EVP_PKEY, PkeyFree> m_caKey;
    std::unique_ptr<X509, X509Free> m_ca;
    std::optional<std::string> m_certFileBefore;
};

TEST_F(ServerTrustTest, SystemAuthoritiesTakeOnlyACertificateTheySignedForTheHost) {
    struct Case {
        const char* name;
        const char* host;  // as the user named the server
        const char* names;
        bool signedByTheAuthority;
        const char* refusal;  // empty: trusted
    };
    const Case cases[] = {
        {"address in the certificate", "127.0.0.1", "IP:127.0.0.1", true, ""},
        {"name in the certificate", "localhost", "DNS:localhost", true, ""},
        {"another address", "127.0.0.1", "IP:10.9.9.9,DNS:127.0.0.1", true, "IP address mismatch"},
        {"another name", "localhost", "DNS:other.example", true, "hostname mismatch"},
        {"self-signed", "127.0.0.1", "IP:127.0.0.1", false, "self-signed certificate"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::StreamLink link(1, Identity(c.names, c.signedByTheAuthority));
        link.client.SetTlsTrust({kTlsTrustSystemCa, c.host, link.ServerPort(), ""});
        const bool connected = link.Connect();
        const std::string refusal = link.client.TrustRefusal();
        if (*c.refusal == '\0') {
            EXPECT_TRUE(connected);
            EXPECT_EQ(refusal, "");
        } else {
            EXPECT_FALSE(connected);
            EXPECT_EQ(link.clientHandshake, -1);
            EXPECT_EQ(refusal.rfind("Error:  The certificate of " + std::string(c.host) + ":" +
                                        std::to_string(link.ServerPort()) + " is not trusted:\r\n",
                                    0),
                      0u)
                << refusal;
            EXPECT_NE(refusal.find(c.refusal), std::string::npos) << refusal;
            uint8_t byte = 0;
            EXPECT_EQ(link.client.zRPshWrite(link.clientSocket, &byte, 1), -1) << "the stream still carries";
        }
    }
}

}  // namespace
}  // namespace corvane
