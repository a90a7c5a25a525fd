#include "CertificateMaker.h"

#include <cstdio>
#include <memory>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509v3.h>
#include <sys/stat.h>

namespace {

template <typename T, void (*Free)(T*)>
using Owned = std::unique_ptr<T, decltype([](T* p) { Free(p); })>;

bool addExtension(X509* cert, int nid, const char* value) {
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, cert, cert, nullptr, nullptr, 0);
    Owned<X509_EXTENSION, X509_EXTENSION_free> extension(
        X509V3_EXT_conf_nid(nullptr, &context, nid, value));
    return extension && X509_add_ext(cert, extension.get(), -1) == 1;
}

} // namespace

std::string CertificateMaker::selfSigned(const std::string& certPath, const std::string& keyPath) {
    Owned<EVP_PKEY, EVP_PKEY_free> key(EVP_EC_gen("P-256"));
    Owned<X509, X509_free> cert(X509_new());
    if (!key || !cert)
        return "cannot make a key";
    X509_set_version(cert.get(), 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), static_cast<long>(time(nullptr)));
    X509_gmtime_adj(X509_getm_notBefore(cert.get()), -3600);
    X509_gmtime_adj(X509_getm_notAfter(cert.get()), 30L * 24 * 3600);
    X509_set_pubkey(cert.get(), key.get());
    X509_NAME* name = X509_get_subject_name(cert.get());
    X509_NAME_add_entry_by_txt(
        name, "CN", MBSTRING_ASC,
        reinterpret_cast<const unsigned char*>("Quovant account service (local)"), -1, -1, 0);
    X509_set_issuer_name(cert.get(), name);
    if (!addExtension(cert.get(), NID_subject_alt_name, "IP:127.0.0.1,IP:::1,DNS:localhost") ||
        !addExtension(cert.get(), NID_basic_constraints, "critical,CA:TRUE") ||
        !addExtension(cert.get(), NID_key_usage, "critical,digitalSignature,keyCertSign") ||
        !addExtension(cert.get(), NID_ext_key_usage, "serverAuth"))
        return "cannot add the certificate's extensions";
    if (X509_sign(cert.get(), key.get(), EVP_sha256()) == 0)
        return "cannot sign the certificate";

    const mode_t old = umask(077);
    FILE* keyFile = std::fopen(keyPath.c_str(), "w");
    umask(old);
    if (!keyFile)
        return "cannot write " + keyPath;
    const bool keyWritten =
        PEM_write_PrivateKey(keyFile, key.get(), nullptr, nullptr, 0, nullptr, nullptr) == 1;
    std::fclose(keyFile);
    FILE* certFile = std::fopen(certPath.c_str(), "w");
    if (!certFile)
        return "cannot write " + certPath;
    const bool certWritten = PEM_write_X509(certFile, cert.get()) == 1;
    std::fclose(certFile);
    return keyWritten && certWritten ? "" : "cannot write the certificate or key";
}
