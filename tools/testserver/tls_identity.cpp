#include "tools/testserver/tls_identity.h"

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <memory>
#include <string>

namespace corvane::testserver {

namespace {

struct PkeyFree {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct X509Free {
    void operator()(X509* certificate) const { X509_free(certificate); }
};
struct BioFree {
    void operator()(BIO* bio) const { BIO_free(bio); }
};

constexpr long kValidFrom = -3600;
constexpr long kValidFor = 30L * 86400;

template <typename Write>
std::string PemText(Write&& write) {
    std::unique_ptr<BIO, BioFree> bio(BIO_new(BIO_s_mem()));
    if (!bio || write(bio.get()) != 1) return {};
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio.get(), &data);
    return size > 0 ? std::string(data, static_cast<size_t>(size)) : std::string();
}

}  // namespace

std::optional<TlsIdentity> MakeSelfSignedIdentity() {
    std::unique_ptr<EVP_PKEY, PkeyFree> key(EVP_EC_gen("P-256"));
    std::unique_ptr<X509, X509Free> certificate(X509_new());
    if (!key || !certificate) return std::nullopt;
    X509_NAME* name = X509_get_subject_name(certificate.get());
    const auto* commonName = reinterpret_cast<const unsigned char*>("127.0.0.1");
    if (X509_set_version(certificate.get(), 2) != 1 ||
        ASN1_INTEGER_set(X509_get_serialNumber(certificate.get()), 1) != 1 ||
        X509_gmtime_adj(X509_getm_notBefore(certificate.get()), kValidFrom) == nullptr ||
        X509_gmtime_adj(X509_getm_notAfter(certificate.get()), kValidFor) == nullptr ||
        X509_set_pubkey(certificate.get(), key.get()) != 1 ||
        X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, commonName, -1, -1, 0) != 1 ||
        X509_set_issuer_name(certificate.get(), name) != 1 ||
        X509_sign(certificate.get(), key.get(), EVP_sha256()) == 0) {
        return std::nullopt;
    }
    TlsIdentity identity;
    identity.certificatePem = PemText([&](BIO* bio) { return PEM_write_bio_X509(bio, certificate.get()); });
    identity.privateKeyPem = PemText([&](BIO* bio) {
        return PEM_write_bio_PrivateKey(bio, key.get(), nullptr, nullptr, 0, nullptr, nullptr);
    });
    if (identity.certificatePem.empty() || identity.privateKeyPem.empty()) return std::nullopt;
    return identity;
}

}  // namespace corvane::testserver
