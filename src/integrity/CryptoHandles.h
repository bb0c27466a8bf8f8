#pragma once
// Owning handles of libcrypto's objects and its last error as text, for the signing code: every
// object is freed however a function returns.
#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <memory>
#include <string>

namespace integrity::crypto {

struct Free {
    void operator()(EVP_PKEY* k) const { EVP_PKEY_free(k); }
    void operator()(EVP_PKEY_CTX* c) const { EVP_PKEY_CTX_free(c); }
    void operator()(EVP_MD_CTX* c) const { EVP_MD_CTX_free(c); }
    void operator()(BIO* b) const { BIO_free(b); }
    void operator()(X509* x) const { X509_free(x); }
    void operator()(X509_EXTENSION* e) const { X509_EXTENSION_free(e); }
    void operator()(BIGNUM* n) const { BN_free(n); }
};
using Key = std::unique_ptr<EVP_PKEY, Free>;
using KeyCtx = std::unique_ptr<EVP_PKEY_CTX, Free>;
using MdCtx = std::unique_ptr<EVP_MD_CTX, Free>;
using Bio = std::unique_ptr<BIO, Free>;
using Cert = std::unique_ptr<X509, Free>;
using Extension = std::unique_ptr<X509_EXTENSION, Free>;
using Number = std::unique_ptr<BIGNUM, Free>;

// The library's last error, taken off its queue ("the key library failed" when it has none).
inline std::string LibraryError() {
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    if (!code)
        return "the key library failed";
    char text[256];
    ERR_error_string_n(code, text, sizeof text);
    return text;
}

// The bytes a memory BIO holds.
inline std::string TextOf(BIO* bio) {
    char* data = nullptr;
    const long n = BIO_get_mem_data(bio, &data);
    return n > 0 ? std::string(data, static_cast<std::size_t>(n)) : std::string();
}

// A memory BIO reading text, which must outlive it.
inline Bio MemoryOf(const std::string& text) {
    return Bio(BIO_new_mem_buf(text.data(), static_cast<int>(text.size())));
}

// The private key a PEM text holds when `wanted` takes its type, else null. Nothing is left on
// the error queue: a text that is not a key is an answer, not a failure to report.
template <typename Wanted>
Key ReadPrivateKey(const std::string& pem, Wanted wanted) {
    Bio bio = MemoryOf(pem);
    Key key(bio ? PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr) : nullptr);
    if (key && !wanted(key.get()))
        key.reset();
    ERR_clear_error();
    return key;
}

}  // namespace integrity::crypto
