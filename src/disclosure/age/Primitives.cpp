#include "disclosure/age/Primitives.h"

#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/kdf.h>
#include <openssl/rand.h>

#include <algorithm>

#include "integrity/CryptoHandles.h"

namespace disclosure::age {

using platform::Error;
namespace crypto = integrity::crypto;

namespace {

const unsigned char* Bytes(const std::string& s) {
    return reinterpret_cast<const unsigned char*>(s.data());
}

Error LibraryFailure(const std::string& what) {
    return Error{Error::Kind::kFailed, what + ": " + crypto::LibraryError(), ""};
}

}  // namespace

platform::Expected<std::string> Hkdf(const std::string& salt, const std::string& ikm,
                                     const std::string& info, std::size_t length) {
    std::string out(length, '\0');
    crypto::KeyCtx ctx(EVP_PKEY_CTX_new_id(EVP_PKEY_HKDF, nullptr));
    // An empty salt is HKDF's zero salt; libcrypto wants no salt set for it.
    const bool made =
        ctx && EVP_PKEY_derive_init(ctx.get()) > 0 &&
        EVP_PKEY_CTX_set_hkdf_md(ctx.get(), EVP_sha256()) > 0 &&
        (salt.empty() ||
         EVP_PKEY_CTX_set1_hkdf_salt(ctx.get(), Bytes(salt), static_cast<int>(salt.size())) > 0) &&
        EVP_PKEY_CTX_set1_hkdf_key(ctx.get(), Bytes(ikm), static_cast<int>(ikm.size())) > 0 &&
        EVP_PKEY_CTX_add1_hkdf_info(ctx.get(), Bytes(info), static_cast<int>(info.size())) > 0;
    std::size_t n = length;
    if (!made ||
        EVP_PKEY_derive(ctx.get(), reinterpret_cast<unsigned char*>(out.data()), &n) <= 0 ||
        n != length)
        return LibraryFailure("a key cannot be derived");
    return out;
}

platform::Expected<std::string> HmacSha256(const std::string& key, const std::string& data) {
    unsigned char mac[EVP_MAX_MD_SIZE];
    unsigned int n = 0;
    if (!HMAC(EVP_sha256(), key.data(), static_cast<int>(key.size()), Bytes(data), data.size(), mac,
              &n))
        return LibraryFailure("a MAC cannot be made");
    return std::string(reinterpret_cast<char*>(mac), n);
}

platform::Expected<std::string> RandomBytes(std::size_t count) {
    std::string out(count, '\0');
    if (RAND_bytes(reinterpret_cast<unsigned char*>(out.data()), static_cast<int>(count)) != 1)
        return LibraryFailure("no random bytes");
    return out;
}

platform::Expected<std::string> NewX25519Secret() {
    return RandomBytes(kKeySize);
}

platform::Expected<std::string> X25519Public(const std::string& secret) {
    crypto::Key key(
        EVP_PKEY_new_raw_private_key(EVP_PKEY_X25519, nullptr, Bytes(secret), secret.size()));
    std::string pub(kKeySize, '\0');
    std::size_t n = pub.size();
    if (!key || EVP_PKEY_get_raw_public_key(key.get(), reinterpret_cast<unsigned char*>(pub.data()),
                                            &n) <= 0)
        return LibraryFailure("the key cannot be used");
    return pub;
}

platform::Expected<std::string> X25519Shared(const std::string& secret,
                                             const std::string& peerPublic) {
    crypto::Key own(
        EVP_PKEY_new_raw_private_key(EVP_PKEY_X25519, nullptr, Bytes(secret), secret.size()));
    crypto::Key peer(EVP_PKEY_new_raw_public_key(EVP_PKEY_X25519, nullptr, Bytes(peerPublic),
                                                 peerPublic.size()));
    if (!own || !peer)
        return LibraryFailure("the key cannot be used");
    crypto::KeyCtx ctx(EVP_PKEY_CTX_new(own.get(), nullptr));
    std::string shared(kKeySize, '\0');
    std::size_t n = shared.size();
    const bool derived =
        ctx && EVP_PKEY_derive_init(ctx.get()) > 0 &&
        EVP_PKEY_derive_set_peer(ctx.get(), peer.get()) > 0 &&
        EVP_PKEY_derive(ctx.get(), reinterpret_cast<unsigned char*>(shared.data()), &n) > 0;
    ERR_clear_error();
    // libcrypto itself refuses a zero result; the check stays for a library that does not.
    if (!derived || n != kKeySize ||
        std::all_of(shared.begin(), shared.end(), [](char c) { return c == 0; }))
        return Error{Error::Kind::kDamaged, "a key of the file gives no shared secret", ""};
    return shared;
}

platform::Expected<std::string> Scrypt(const std::string& passphrase, const std::string& salt,
                                       int log2N) {
    const std::uint64_t n = std::uint64_t{1} << log2N, r = 8, p = 1;
    // What the function needs for N and r, with room for its own block.
    const std::uint64_t maxmem = 128 * r * (n + 2) + 128 * r * p + (std::uint64_t{1} << 20);
    std::string key(kKeySize, '\0');
    if (EVP_PBE_scrypt(passphrase.data(), passphrase.size(), Bytes(salt), salt.size(), n, r, p,
                       maxmem, reinterpret_cast<unsigned char*>(key.data()), key.size()) != 1)
        return LibraryFailure("the passphrase cannot be stretched");
    return key;
}

void Aead::Free::operator()(EVP_CIPHER_CTX* c) const {
    EVP_CIPHER_CTX_free(c);
}

Aead::Aead(const std::string& key) : key_(key) {}

Aead::~Aead() = default;

bool Aead::Seal(const unsigned char* nonce, const unsigned char* plain, std::size_t count,
                unsigned char* out) {
    // The cipher is set up once; each chunk sets its nonce only.
    if (!seal_) {
        seal_.reset(EVP_CIPHER_CTX_new());
        if (!seal_ ||
            EVP_EncryptInit_ex(seal_.get(), EVP_chacha20_poly1305(), nullptr, nullptr, nullptr) !=
                1 ||
            EVP_CIPHER_CTX_ctrl(seal_.get(), EVP_CTRL_AEAD_SET_IVLEN, kNonceSize, nullptr) != 1) {
            seal_.reset();
            return false;
        }
    }
    int n = 0, last = 0;
    return EVP_EncryptInit_ex(seal_.get(), nullptr, nullptr, Bytes(key_), nonce) == 1 &&
           EVP_EncryptUpdate(seal_.get(), out, &n, plain, static_cast<int>(count)) == 1 &&
           EVP_EncryptFinal_ex(seal_.get(), out + n, &last) == 1 &&
           EVP_CIPHER_CTX_ctrl(seal_.get(), EVP_CTRL_AEAD_GET_TAG, kTagSize, out + count) == 1;
}

bool Aead::Open(const unsigned char* nonce, const unsigned char* sealed, std::size_t count,
                unsigned char* out) {
    if (count < kTagSize)
        return false;
    if (!open_) {
        open_.reset(EVP_CIPHER_CTX_new());
        if (!open_ ||
            EVP_DecryptInit_ex(open_.get(), EVP_chacha20_poly1305(), nullptr, nullptr, nullptr) !=
                1 ||
            EVP_CIPHER_CTX_ctrl(open_.get(), EVP_CTRL_AEAD_SET_IVLEN, kNonceSize, nullptr) != 1) {
            open_.reset();
            return false;
        }
    }
    const std::size_t plain = count - kTagSize;
    unsigned char tag[kTagSize];
    std::copy(sealed + plain, sealed + count, tag);
    int n = 0, last = 0;
    const bool opened =
        EVP_DecryptInit_ex(open_.get(), nullptr, nullptr, Bytes(key_), nonce) == 1 &&
        EVP_DecryptUpdate(open_.get(), out, &n, sealed, static_cast<int>(plain)) == 1 &&
        EVP_CIPHER_CTX_ctrl(open_.get(), EVP_CTRL_AEAD_SET_TAG, kTagSize, tag) == 1 &&
        EVP_DecryptFinal_ex(open_.get(), out + n, &last) == 1;
    ERR_clear_error();
    return opened;
}

platform::Expected<std::string> WrapFileKey(const std::string& wrapKey,
                                            const std::string& fileKey) {
    const unsigned char zero[kNonceSize] = {};
    std::string out(fileKey.size() + kTagSize, '\0');
    Aead aead(wrapKey);
    if (!aead.Seal(zero, Bytes(fileKey), fileKey.size(),
                   reinterpret_cast<unsigned char*>(out.data())))
        return LibraryFailure("the file key cannot be wrapped");
    return out;
}

std::string UnwrapFileKey(const std::string& wrapKey, const std::string& body) {
    const unsigned char zero[kNonceSize] = {};
    if (body.size() != 16 + kTagSize)
        return {};
    std::string out(body.size() - kTagSize, '\0');
    Aead aead(wrapKey);
    if (!aead.Open(zero, Bytes(body), body.size(), reinterpret_cast<unsigned char*>(out.data())))
        return {};
    return out;
}

}  // namespace disclosure::age
