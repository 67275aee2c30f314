// A self-signed certificate and its private key, made once per test program with the
// OpenSSL API, for the server ends of TLS tests.
#pragma once

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <memory>
#include <string>

#include "protocol/stream_connection.h"

namespace corvane::test {

namespace detail {

struct PkeyFree {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct X509Free {
    void operator()(X509* certificate) const { X509_free(certificate); }
};
struct BioFree {
    void operator()(BIO* bio) const { BIO_free(bio); }
};

template <typename Write>
std::string PemText(Write&& write) {
    std::unique_ptr<BIO, BioFree> bio(BIO_new(BIO_s_mem()));
    if (!bio || write(bio.get()) != 1) return {};
    char* data = nullptr;
    long size = BIO_get_mem_data(bio.get(), &data);
    return size > 0 ? std::string(data, static_cast<size_t>(size)) : std::string();
}

// An EC P-256 key (quick to make, even under the sanitizers) and a certificate for
// 127.0.0.1 valid from an hour ago for a day. Empty PEMs when a step fails.
inline TlsIdentity MakeSelfSignedIdentity() {
    std::unique_ptr<EVP_PKEY, PkeyFree> key(EVP_EC_gen("P-256"));
    std::unique_ptr<X509, X509Free> certificate(X509_new());
    if (!key || !certificate) return {};
    X509_NAME* name = X509_get_subject_name(certificate.get());
    const auto* commonName = reinterpret_cast<const unsigned char*>("127.0.0.1");
    if (X509_set_version(certificate.get(), 2) != 1 ||
        ASN1_INTEGER_set(X509_get_serialNumber(certificate.get()), 1) != 1 ||
        X509_gmtime_adj(X509_getm_notBefore(certificate.get()), -3600) == nullptr ||
        X509_gmtime_adj(X509_getm_notAfter(certificate.get()), 86400) == nullptr ||
        X509_set_pubkey(certificate.get(), key.get()) != 1 ||
        X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, commonName, -1, -1, 0) != 1 ||
        X509_set_issuer_name(certificate.get(), name) != 1 ||
        X509_sign(certificate.get(), key.get(), EVP_sha256()) == 0) {
        return {};
    }
    TlsIdentity identity;
    identity.certificatePem =
        PemText([&](BIO* bio) { return PEM_write_bio_X509(bio, certificate.get()); });
    identity.privateKeyPem = PemText([&](BIO* bio) {
        return PEM_write_bio_PrivateKey(bio, key.get(), nullptr, nullptr, 0, nullptr, nullptr);
    });
    return identity;
}

}  // namespace detail

inline const TlsIdentity& TestTlsIdentity() {
    static const TlsIdentity identity = detail::MakeSelfSignedIdentity();
    return identity;
}

}  // namespace corvane::test
