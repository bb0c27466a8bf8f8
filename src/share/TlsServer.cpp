#include "share/TlsServer.h"

#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>

#include <fstream>
#include <memory>

#include "share/ShareAccess.h"
#include "share/TlsTrust.h"

namespace share {
namespace {

// The first error is the cause; those after it say only what failed because of it.
std::string FirstOpenSslReason() {
    const unsigned long e = ERR_peek_error();
    const char* reason = e ? ERR_reason_error_string(e) : nullptr;
    return reason ? reason : "no reason given";
}

// A server started by the system has nobody to type a passphrase: a key that needs one is
// refused rather than asked for on a terminal.
int NoPassphrase(char*, int, int, void*) {
    return 0;
}

// What the engine is handed: the certificate with the chain after it, or the key, in PEM.
std::string Pem(bool key, SSL_CTX* ctx) {
    BIO* out = BIO_new(BIO_s_mem());
    if (!out)
        return {};
    bool ok = false;
    if (key) {
        EVP_PKEY* k = SSL_CTX_get0_privatekey(ctx);
        ok = k && PEM_write_bio_PrivateKey(out, k, nullptr, nullptr, 0, nullptr, nullptr) == 1;
    } else {
        X509* leaf = SSL_CTX_get0_certificate(ctx);
        ok = leaf && PEM_write_bio_X509(out, leaf) == 1;
        STACK_OF(X509)* chain = nullptr;
        if (ok && SSL_CTX_get0_chain_certs(ctx, &chain) == 1 && chain)
            for (int i = 0; ok && i < sk_X509_num(chain); ++i)
                ok = PEM_write_bio_X509(out, sk_X509_value(chain, i)) == 1;
    }
    char* data = nullptr;
    const long size = BIO_get_mem_data(out, &data);
    std::string pem = ok && size > 0 ? std::string(data, static_cast<std::size_t>(size)) : "";
    BIO_free(out);
    return pem;
}

}  // namespace

platform::Expected<std::shared_ptr<ServerTls>> ServerTls::Load(const std::string& certificateFile,
                                                               const std::string& keyFile) {
    using Kind = platform::Error::Kind;
    const auto fail = [](Kind kind, std::string why) {
        return platform::Error{kind, std::move(why), {}};
    };
    ERR_clear_error();
    // OpenSSL reads and checks the files; the engine is handed what they hold, in PEM.
    std::unique_ptr<SSL_CTX, void (*)(SSL_CTX*)> context(SSL_CTX_new(TLS_server_method()),
                                                         &SSL_CTX_free);
    SSL_CTX* ctx = context.get();
    if (!ctx)
        return fail(Kind::kFailed, "TLS cannot be set up (" + FirstOpenSslReason() + ")");
    if (!std::ifstream(certificateFile))
        return fail(Kind::kNotFound, "cannot open the TLS certificate " + certificateFile);
    if (SSL_CTX_use_certificate_chain_file(ctx, certificateFile.c_str()) != 1)
        return fail(Kind::kDamaged, "the TLS certificate " + certificateFile +
                                        " holds no certificate in PEM that can be used (" +
                                        FirstOpenSslReason() + ")");
    BIO* in = BIO_new_file(keyFile.c_str(), "r");
    if (!in)
        return fail(Kind::kNotFound, "cannot open the TLS key " + keyFile);
    EVP_PKEY* key = PEM_read_bio_PrivateKey(in, nullptr, &NoPassphrase, nullptr);
    BIO_free(in);
    if (!key)
        return fail(
            Kind::kDamaged,
            "the TLS key " + keyFile +
                " holds no private key in PEM without a passphrase (a server started by the system "
                "has nobody to type one)");
    const bool matches =
        SSL_CTX_use_PrivateKey(ctx, key) == 1 && SSL_CTX_check_private_key(ctx) == 1;
    EVP_PKEY_free(key);
    if (!matches)
        return fail(Kind::kDamaged, "the TLS key " + keyFile +
                                        " is not the key of the certificate " + certificateFile);
    std::shared_ptr<ServerTls> tls(new ServerTls);
    tls->pin_ = CertificatePin(SSL_CTX_get0_certificate(ctx));
    tls->certificate_ = Pem(false, ctx);
    tls->key_ = Pem(true, ctx);
    if (tls->certificate_.empty() || tls->key_.empty())
        return fail(Kind::kFailed, "the TLS certificate " + certificateFile +
                                       " cannot be handed on (" + FirstOpenSslReason() + ")");
    return {std::move(tls)};
}

std::string PlainHttpProblem(const std::string& host, bool tls, bool insecureHttp) {
    if (tls || insecureHttp || IsLoopback(host))
        return "";
    return "listening on " + host +
           " in plain HTTP sends the token and the recordings across the network in clear: give "
           "--tls-cert and --tls-key, or --insecure-http to do so all the same";
}

}  // namespace share
