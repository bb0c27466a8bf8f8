#include "integrity/ExportSigning.h"

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <memory>

#include "integrity/CryptoHandles.h"
#include "integrity/Sha256.h"
#include "platform/AtomicFile.h"
#include "platform/FileSystem.h"
#include "platform/HostFiles.h"
#include "platform/OwnerOnly.h"

namespace integrity {
namespace {

constexpr int kRsaBits = 3072;
// Long enough to outlast the recordings it vouches for; verifiers of the format check no dates.
constexpr long kValidDays = 30L * 365;
constexpr long long kPemLimit = 1 << 20;

using namespace crypto;

bool IsRsa(EVP_PKEY* key) {
    const int id = EVP_PKEY_get_base_id(key);
    return id == EVP_PKEY_RSA || id == EVP_PKEY_RSA_PSS;
}

Cert ReadDer(const std::string& der) {
    const auto* p = reinterpret_cast<const unsigned char*>(der.data());
    Cert cert(d2i_X509(nullptr, &p, static_cast<long>(der.size())));
    // Bytes after the certificate would be signed over but not be the certificate.
    if (cert && p != reinterpret_cast<const unsigned char*>(der.data()) + der.size())
        cert.reset();
    ERR_clear_error();
    return cert;
}

std::string DerOf(X509* cert) {
    unsigned char* out = nullptr;
    const int n = i2d_X509(cert, &out);
    if (n <= 0)
        return std::string();
    std::string der(reinterpret_cast<char*>(out), static_cast<std::size_t>(n));
    OPENSSL_free(out);
    return der;
}

// The PSS settings both ends use: SHA-256 for the message and the mask.
bool SetPss(EVP_PKEY_CTX* ctx, int saltLength) {
    return EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_PKCS1_PSS_PADDING) == 1 &&
           EVP_PKEY_CTX_set_signature_md(ctx, EVP_sha256()) == 1 &&
           EVP_PKEY_CTX_set_rsa_mgf1_md(ctx, EVP_sha256()) == 1 &&
           EVP_PKEY_CTX_set_rsa_pss_saltlen(ctx, saltLength) == 1;
}

bool AddExtension(X509* cert, int nid, const char* value) {
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, cert, cert, nullptr, nullptr, 0);
    Extension ext(X509V3_EXT_conf_nid(nullptr, &ctx, nid, value));
    return ext && X509_add_ext(cert, ext.get(), -1) == 1;
}

std::string MakeCertificate(EVP_PKEY* key, const std::string& unitName, std::string& pem) {
    Cert cert(X509_new());
    unsigned char serial[16];
    if (!cert || RAND_bytes(serial, sizeof serial) != 1)
        return LibraryError();
    serial[0] &= 0x7f;  // a positive serial number
    Number number(BN_bin2bn(serial, sizeof serial, nullptr));
    X509_NAME* name = X509_get_subject_name(cert.get());
    if (!number || X509_set_version(cert.get(), X509_VERSION_3) != 1 ||
        !BN_to_ASN1_INTEGER(number.get(), X509_get_serialNumber(cert.get())) ||
        !X509_gmtime_adj(X509_getm_notBefore(cert.get()), 0) ||
        !X509_time_adj_ex(X509_getm_notAfter(cert.get()), static_cast<int>(kValidDays), 0,
                          nullptr) ||
        X509_set_pubkey(cert.get(), key) != 1 ||
        X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8,
                                   reinterpret_cast<const unsigned char*>(unitName.data()),
                                   static_cast<int>(unitName.size()), -1, 0) != 1 ||
        X509_set_issuer_name(cert.get(), name) != 1 ||
        !AddExtension(cert.get(), NID_basic_constraints, "critical,CA:FALSE") ||
        !AddExtension(cert.get(), NID_key_usage, "critical,digitalSignature,nonRepudiation") ||
        !AddExtension(cert.get(), NID_subject_key_identifier, "hash") ||
        X509_sign(cert.get(), key, EVP_sha256()) <= 0)
        return LibraryError();
    Bio out(BIO_new(BIO_s_mem()));
    if (!out || PEM_write_bio_X509(out.get(), cert.get()) != 1)
        return LibraryError();
    pem = TextOf(out.get());
    return std::string();
}

}  // namespace

std::string ExportKeyPath(const std::string& folder) {
    return folder + "/export-rsa.key";
}

std::string ExportCertificatePath(const std::string& folder) {
    return folder + "/export-rsa.crt";
}

bool HasExportKey(const std::string& folder) {
    return platform::FileLength(ExportKeyPath(folder)) >= 0;
}

platform::Outcome CreateExportKey(const std::string& folder, const std::string& unitName) {
    const auto refused = [](std::string why) {
        return platform::Error{platform::Error::Kind::kRefused, std::move(why), {}};
    };
    const auto failed = [](std::string why) {
        return platform::Error{platform::Error::Kind::kFailed, std::move(why), {}};
    };
    if (HasExportKey(folder))
        return refused("an export signing key already exists in " + folder +
                       "; it is kept, since the exports signed with it are checked with it");
    // X.509 allows a common name of 1 to 64 characters.
    if (unitName.empty() || unitName.size() > 64 || unitName.find('\0') != std::string::npos)
        return refused("the unit name for the certificate must have 1 to 64 characters");
    Key key(EVP_PKEY_Q_keygen(nullptr, nullptr, "RSA", static_cast<std::size_t>(kRsaBits)));
    if (!key)
        return failed("no RSA key could be made: " + LibraryError());
    std::string certPem;
    if (std::string why = MakeCertificate(key.get(), unitName, certPem); !why.empty())
        return failed("no certificate could be made: " + why);
    Bio out(BIO_new(BIO_s_mem()));
    if (!out ||
        PEM_write_bio_PrivateKey(out.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) != 1)
        return failed("the RSA key could not be written out: " + LibraryError());
    const std::string privatePem = TextOf(out.get());
    if (!platform::MakeOwnerOnlyFolder(folder))
        return failed("the key folder " + folder + " cannot be made");
    // The certificate first: a key counts as made once its private half is there.
    if (!platform::WriteTextAtomically(ExportCertificatePath(folder), certPem, true) ||
        !platform::WriteOwnerOnlyFile(ExportKeyPath(folder), privatePem))
        return failed("the RSA key could not be written into " + folder);
    return platform::Succeeded();
}

platform::Expected<ExportKey> LoadExportKey(const std::string& folder) {
    return LoadExportKeyFiles(ExportKeyPath(folder), ExportCertificatePath(folder));
}

platform::Expected<ExportKey> LoadExportKeyFiles(const std::string& keyPath,
                                                 const std::string& certificatePath) {
    const auto unread = [](std::string why) {
        return platform::Error{platform::Error::Kind::kNotFound, std::move(why), {}};
    };
    const auto damaged = [](std::string why) {
        return platform::Error{platform::Error::Kind::kDamaged, std::move(why), {}};
    };
    std::string privatePem, certPem;
    if (!platform::ReadHostFile(keyPath, privatePem, kPemLimit))
        return unread("the export signing key " + keyPath + " cannot be read");
    if (!platform::ReadHostFile(certificatePath, certPem, kPemLimit))
        return unread("the certificate " + certificatePath + " cannot be read");
    Key key = ReadPrivateKey(privatePem, IsRsa);
    if (!key)
        return damaged("the export signing key " + keyPath + " is no RSA private key");
    Bio bio(BIO_new_mem_buf(certPem.data(), static_cast<int>(certPem.size())));
    Cert cert(bio ? PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr) : nullptr);
    ERR_clear_error();
    if (!cert)
        return damaged("the certificate " + certificatePath + " cannot be read");
    if (X509_check_private_key(cert.get(), key.get()) != 1) {
        ERR_clear_error();
        return damaged("the certificate " + certificatePath +
                       " is not that of the export signing key");
    }
    return ExportKey{std::move(privatePem), DerOf(cert.get())};
}

std::string CertificateDer(const std::string& pemOrDer) {
    if (Cert der = ReadDer(pemOrDer))
        return DerOf(der.get());
    Bio bio(BIO_new_mem_buf(pemOrDer.data(), static_cast<int>(pemOrDer.size())));
    Cert cert(bio ? PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr) : nullptr);
    ERR_clear_error();
    return cert ? DerOf(cert.get()) : std::string();
}

std::size_t RsaSignatureLength(const std::string& privatePem) {
    Key key = ReadPrivateKey(privatePem, IsRsa);
    return key ? static_cast<std::size_t>(EVP_PKEY_get_size(key.get())) : 0;
}

platform::Expected<std::string> RsaPssSignDigest(const std::string& privatePem,
                                                 const Sha256Digest& digest) {
    const auto failed = [](std::string why) {
        return platform::Error{platform::Error::Kind::kFailed, std::move(why), {}};
    };
    Key key = ReadPrivateKey(privatePem, IsRsa);
    if (!key)
        return platform::Error{platform::Error::Kind::kDamaged,
                               "the export signing key cannot be read (not an RSA private key)",
                               {}};
    KeyCtx ctx(EVP_PKEY_CTX_new(key.get(), nullptr));
    std::size_t length = 0;
    if (!ctx || EVP_PKEY_sign_init(ctx.get()) != 1 || !SetPss(ctx.get(), RSA_PSS_SALTLEN_DIGEST) ||
        EVP_PKEY_sign(ctx.get(), nullptr, &length, digest.data(), digest.size()) != 1)
        return failed("the file could not be signed: " + LibraryError());
    std::string signature(length, '\0');
    if (EVP_PKEY_sign(ctx.get(), reinterpret_cast<unsigned char*>(signature.data()), &length,
                      digest.data(), digest.size()) != 1)
        return failed("the file could not be signed: " + LibraryError());
    signature.resize(length);
    return signature;
}

platform::Expected<std::string> RsaPssSign(const std::string& privatePem,
                                           const std::string& bytes) {
    Sha256 hash;
    hash.Update(bytes.data(), bytes.size());
    return RsaPssSignDigest(privatePem, hash.Final());
}

platform::Outcome CheckRsaPssSignature(const std::string& certificateDer,
                                       const Sha256Digest& digest, const std::string& signature) {
    const auto failed = [](std::string why) {
        return platform::Error{platform::Error::Kind::kFailed, std::move(why), {}};
    };
    Cert cert = ReadDer(certificateDer);
    if (!cert)
        return failed("the certificate cannot be read (not one DER X.509 certificate)");
    EVP_PKEY* key = X509_get0_pubkey(cert.get());
    if (!key || !IsRsa(key)) {
        ERR_clear_error();
        return failed("the certificate's key is not an RSA key");
    }
    KeyCtx ctx(EVP_PKEY_CTX_new(key, nullptr));
    const bool good =
        ctx && EVP_PKEY_verify_init(ctx.get()) == 1 && SetPss(ctx.get(), RSA_PSS_SALTLEN_AUTO) &&
        EVP_PKEY_verify(ctx.get(), reinterpret_cast<const unsigned char*>(signature.data()),
                        signature.size(), digest.data(), digest.size()) == 1;
    ERR_clear_error();
    if (!good)
        return platform::Error{
            platform::Error::Kind::kDamaged, "the signature does not match the file", {}};
    return platform::Succeeded();
}

std::string CertificateCommonName(const std::string& certificateDer) {
    Cert cert = ReadDer(certificateDer);
    if (!cert)
        return std::string();
    X509_NAME* name = X509_get_subject_name(cert.get());
    const int at = X509_NAME_get_index_by_NID(name, NID_commonName, -1);
    ASN1_STRING* data = at < 0 ? nullptr : X509_NAME_ENTRY_get_data(X509_NAME_get_entry(name, at));
    unsigned char* utf8 = nullptr;
    const int n = data ? ASN1_STRING_to_UTF8(&utf8, data) : -1;
    std::string out;
    if (n > 0)
        out.assign(reinterpret_cast<char*>(utf8), static_cast<std::size_t>(n));
    OPENSSL_free(utf8);
    ERR_clear_error();
    return out;
}

std::string CertificateFingerprint(const std::string& certificateDer) {
    if (!ReadDer(certificateDer))
        return std::string();
    const std::string hex = Sha256Hex(certificateDer.data(), certificateDer.size());
    std::string out = "SHA256:";
    for (std::size_t i = 0; i < hex.size(); i += 4)
        out += (i ? " " : "") + hex.substr(i, 4);
    return out;
}

}  // namespace integrity
