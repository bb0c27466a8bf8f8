#include "integrity/Signing.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

#include <memory>

#include "integrity/CryptoHandles.h"
#include "integrity/Sha256.h"
#include "platform/AtomicFile.h"
#include "platform/DriveTable.h"
#include "platform/FileSystem.h"
#include "platform/OwnerOnly.h"

namespace integrity {
namespace {

using namespace crypto;

bool IsEd25519(EVP_PKEY* key) {
    return EVP_PKEY_get_id(key) == EVP_PKEY_ED25519;
}

Key ReadPublic(const std::string& pem) {
    Bio bio = MemoryOf(pem);
    Key key(bio ? PEM_read_bio_PUBKEY(bio.get(), nullptr, nullptr, nullptr) : nullptr);
    if (!key)
        key = ReadPrivateKey(pem, IsEd25519);
    if (key && !IsEd25519(key.get()))
        key.reset();
    ERR_clear_error();
    return key;
}

std::string PublicPem(EVP_PKEY* key) {
    Bio out(BIO_new(BIO_s_mem()));
    if (!out || PEM_write_bio_PUBKEY(out.get(), key) != 1)
        return std::string();
    return TextOf(out.get());
}

}  // namespace

std::string SigningKeyFolder() {
    return platform::MachinePrefix() + "/keys";
}

std::string PrivateKeyPath(const std::string& folder) {
    return folder + "/signing.key";
}

std::string PublicKeyPath(const std::string& folder) {
    return folder + "/signing.pub";
}

bool HasSigningKey(const std::string& folder) {
    return platform::FileLength(PrivateKeyPath(folder)) >= 0;
}

platform::Outcome CreateSigningKey(const std::string& folder) {
    const auto failed = [](std::string why) {
        return platform::Error{platform::Error::Kind::kFailed, std::move(why), {}};
    };
    if (HasSigningKey(folder))
        return platform::Error{platform::Error::Kind::kRefused,
                               "a signing key already exists in " + folder +
                                   "; it is kept, since the images signed with it are checked "
                                   "with it",
                               {}};
    Key key(EVP_PKEY_Q_keygen(nullptr, nullptr, "ED25519"));
    if (!key)
        return failed("no key could be made: " + LibraryError());
    Bio out(BIO_new(BIO_s_mem()));
    if (!out ||
        PEM_write_bio_PrivateKey(out.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) != 1)
        return failed("the key could not be written out: " + LibraryError());
    const std::string privatePem = TextOf(out.get());
    const std::string publicPem = PublicPem(key.get());
    if (!platform::MakeOwnerOnlyFolder(folder))
        return failed("the key folder " + folder + " cannot be made");
    // The public half first: a key counts as made once its private half is there.
    if (!platform::WriteTextAtomically(PublicKeyPath(folder), publicPem, true) ||
        !platform::WriteOwnerOnlyFile(PrivateKeyPath(folder), privatePem))
        return failed("the key could not be written into " + folder);
    return platform::Succeeded();
}

platform::Expected<std::string> Sign(const std::string& privatePem, const std::string& bytes) {
    const auto failed = [](std::string why) {
        return platform::Error{platform::Error::Kind::kFailed, std::move(why), {}};
    };
    Key key = ReadPrivateKey(privatePem, IsEd25519);
    if (!key)
        return platform::Error{platform::Error::Kind::kDamaged,
                               "the signing key cannot be read (not an Ed25519 private key)",
                               {}};
    MdCtx ctx(EVP_MD_CTX_new());
    std::size_t length = 0;
    if (!ctx || EVP_DigestSignInit(ctx.get(), nullptr, nullptr, nullptr, key.get()) != 1 ||
        EVP_DigestSign(ctx.get(), nullptr, &length,
                       reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()) != 1)
        return failed("the manifest could not be signed: " + LibraryError());
    std::string signature(length, '\0');
    if (EVP_DigestSign(ctx.get(), reinterpret_cast<unsigned char*>(signature.data()), &length,
                       reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()) != 1)
        return failed("the manifest could not be signed: " + LibraryError());
    signature.resize(length);
    return signature;
}

platform::Outcome CheckSignature(const std::string& publicPem, const std::string& bytes,
                                 const std::string& signature) {
    Key key = ReadPublic(publicPem);
    if (!key)
        return platform::Error{platform::Error::Kind::kFailed,
                               "the public key cannot be read (not an Ed25519 key)",
                               {}};
    MdCtx ctx(EVP_MD_CTX_new());
    const bool good =
        ctx && EVP_DigestVerifyInit(ctx.get(), nullptr, nullptr, nullptr, key.get()) == 1 &&
        EVP_DigestVerify(ctx.get(), reinterpret_cast<const unsigned char*>(signature.data()),
                         signature.size(), reinterpret_cast<const unsigned char*>(bytes.data()),
                         bytes.size()) == 1;
    ERR_clear_error();
    if (!good)
        return platform::Error{
            platform::Error::Kind::kDamaged, "the signature does not match what was signed", {}};
    return platform::Succeeded();
}

std::string PublicPemOf(const std::string& pem) {
    Key key = ReadPublic(pem);
    return key ? PublicPem(key.get()) : std::string();
}

std::string Fingerprint(const std::string& publicPem) {
    Key key = ReadPublic(publicPem);
    unsigned char raw[64];
    std::size_t length = sizeof raw;
    if (!key || EVP_PKEY_get_raw_public_key(key.get(), raw, &length) != 1) {
        ERR_clear_error();
        return std::string();
    }
    const std::string hex = Sha256Hex(raw, length);
    std::string out = "SHA256:";
    for (std::size_t i = 0; i < hex.size(); i += 4)
        out += (i ? " " : "") + hex.substr(i, 4);
    return out;
}

}  // namespace integrity
