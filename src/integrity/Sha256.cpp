#include "integrity/Sha256.h"

#include <openssl/evp.h>

#include <new>

namespace integrity {
namespace {

EVP_MD_CTX* Ctx(void* p) {
    return static_cast<EVP_MD_CTX*>(p);
}

}  // namespace

Sha256::Sha256() : ctx_(EVP_MD_CTX_new()) {
    if (!ctx_ || EVP_DigestInit_ex(Ctx(ctx_), EVP_sha256(), nullptr) != 1)
        throw std::bad_alloc();
}

Sha256::~Sha256() {
    EVP_MD_CTX_free(Ctx(ctx_));
}

void Sha256::Update(const void* bytes, std::size_t count) {
    if (count)
        EVP_DigestUpdate(Ctx(ctx_), bytes, count);
}

std::array<unsigned char, 32> Sha256::Final() {
    std::array<unsigned char, 32> digest{};
    unsigned int length = 0;
    EVP_DigestFinal_ex(Ctx(ctx_), digest.data(), &length);
    EVP_DigestInit_ex(Ctx(ctx_), EVP_sha256(), nullptr);
    return digest;
}

void Sha256::CopyFrom(const Sha256& other) {
    if (EVP_MD_CTX_copy_ex(Ctx(ctx_), Ctx(other.ctx_)) != 1)
        throw std::bad_alloc();
}

std::string Sha256::HexFinal() {
    const auto digest = Final();
    return ToHex(digest.data(), digest.size());
}

std::string Sha256Hex(const void* bytes, std::size_t count) {
    Sha256 h;
    h.Update(bytes, count);
    return h.HexFinal();
}

std::string ToHex(const unsigned char* bytes, std::size_t count) {
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    out.reserve(count * 2);
    for (std::size_t i = 0; i < count; ++i) {
        out += kDigits[bytes[i] >> 4];
        out += kDigits[bytes[i] & 15];
    }
    return out;
}

}  // namespace integrity
