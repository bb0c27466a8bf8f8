#pragma once
// The primitives of the age v1 format, from libcrypto: HKDF-SHA256, HMAC-SHA256, X25519,
// scrypt and ChaCha20-Poly1305. Byte strings are std::string.
#include <cstddef>
#include <memory>
#include <string>

#include "platform/Error.h"

typedef struct evp_cipher_ctx_st EVP_CIPHER_CTX;

namespace disclosure::age {

constexpr std::size_t kKeySize = 32, kTagSize = 16, kNonceSize = 12;

// HKDF and HMAC fail only when libcrypto does (or for more than 255 hashes of HKDF output):
// kFailed, with the library's words.
platform::Expected<std::string> Hkdf(const std::string& salt, const std::string& ikm,
                                     const std::string& info, std::size_t length);
platform::Expected<std::string> HmacSha256(const std::string& key, const std::string& data);
platform::Expected<std::string> RandomBytes(std::size_t count);

// A new X25519 secret key (32 bytes).
platform::Expected<std::string> NewX25519Secret();
platform::Expected<std::string> X25519Public(const std::string& secret);
// The shared secret; refused when it is all zeros (a peer key of low order).
platform::Expected<std::string> X25519Shared(const std::string& secret,
                                             const std::string& peerPublic);

// scrypt with r=8, p=1: 32 bytes.
platform::Expected<std::string> Scrypt(const std::string& passphrase, const std::string& salt,
                                       int log2N);

// ChaCha20-Poly1305 under one key, its context kept for every chunk of a stream.
class Aead {
  public:
    explicit Aead(const std::string& key);
    ~Aead();
    Aead(const Aead&) = delete;
    Aead& operator=(const Aead&) = delete;
    // out takes count + kTagSize bytes.
    bool Seal(const unsigned char* nonce, const unsigned char* plain, std::size_t count,
              unsigned char* out);
    // sealed holds count bytes with the tag at their end; out takes count - kTagSize. False when
    // the bytes do not authenticate.
    bool Open(const unsigned char* nonce, const unsigned char* sealed, std::size_t count,
              unsigned char* out);

  private:
    struct Free {
        void operator()(EVP_CIPHER_CTX* c) const;
    };
    std::string key_;
    std::unique_ptr<EVP_CIPHER_CTX, Free> seal_, open_;
};

// The 32-byte wrapped file key of a stanza: the 16-byte file key sealed under wrapKey with the
// zero nonce (kFailed when libcrypto cannot seal), and its opening (empty when it does not open).
platform::Expected<std::string> WrapFileKey(const std::string& wrapKey, const std::string& fileKey);
std::string UnwrapFileKey(const std::string& wrapKey, const std::string& body);

}  // namespace disclosure::age
