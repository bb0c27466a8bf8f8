#include "disclosure/age/AgeFile.h"

#include <charconv>

#include "disclosure/age/Base64.h"
#include "disclosure/age/Primitives.h"

namespace disclosure::age {

using platform::Error;

namespace {

constexpr const char* kX25519Info = "age-encryption.org/v1/X25519";
constexpr const char* kScryptSaltLabel = "age-encryption.org/v1/scrypt";
constexpr std::size_t kFileKeySize = 16, kSaltSize = 16;

Error FileDamaged(const std::string& why) {
    return Error{Error::Kind::kDamaged, why, ""};
}

// The file key an X25519 stanza wraps for secret, "" when it is not for it.
platform::Expected<std::string> OpenX25519(const Stanza& s, const std::string& secret) {
    const auto share = s.args.size() == 1 ? Base64Decode(s.args[0]) : std::nullopt;
    if (!share || share->size() != kKeySize || s.body.size() != kFileKeySize + kTagSize)
        return FileDamaged("has a malformed X25519 stanza");
    platform::Expected<std::string> shared = X25519Shared(secret, *share);
    if (!shared)
        return FileDamaged("has an X25519 stanza whose key gives no shared secret");
    platform::Expected<std::string> own = X25519Public(secret);
    if (!own)
        return own.error();
    platform::Expected<std::string> wrapKey = Hkdf(*share + *own, *shared, kX25519Info, kKeySize);
    if (!wrapKey)
        return wrapKey.error();
    return UnwrapFileKey(*wrapKey, s.body);
}

platform::Expected<int> WorkFactor(const Stanza& s) {
    const auto salt = s.args.size() == 2 ? Base64Decode(s.args[0]) : std::nullopt;
    const std::string& text = s.args.size() == 2 ? s.args[1] : std::string();
    int log2N = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), log2N);
    // Decimal without a leading zero: one number, one spelling.
    if (!salt || salt->size() != kSaltSize || ec != std::errc() ||
        end != text.data() + text.size() || text.empty() || text[0] == '0' ||
        s.body.size() != kFileKeySize + kTagSize)
        return FileDamaged("has a malformed scrypt stanza");
    if (log2N > kMostLog2N)
        return Error{Error::Kind::kRefused,
                     "asks for a passphrase work factor of 2^" + text + ", more than the 2^" +
                         std::to_string(kMostLog2N) + " this program spends",
                     ""};
    return log2N;
}

platform::Expected<std::string> FindFileKey(const Header& header, const Unlock& with) {
    bool scrypt = false, x25519 = false;
    for (const Stanza& s : header.stanzas) {
        scrypt = scrypt || s.type == "scrypt";
        x25519 = x25519 || s.type == "X25519";
    }
    // A passphrase stanza beside others would let whoever knows a key also change what the
    // passphrase opens.
    if (scrypt && header.stanzas.size() != 1)
        return FileDamaged("has a passphrase stanza beside other stanzas");
    if (scrypt) {
        if (!with.passphrase)
            return Error{Error::Kind::kRefused,
                         "is encrypted with a passphrase (give --passphrase-file)", ""};
        const Stanza& s = header.stanzas[0];
        platform::Expected<int> log2N = WorkFactor(s);
        if (!log2N)
            return log2N.error();
        platform::Expected<std::string> key =
            Scrypt(*with.passphrase, kScryptSaltLabel + *Base64Decode(s.args[0]), *log2N);
        if (!key)
            return key.error();
        std::string fileKey = UnwrapFileKey(*key, s.body);
        if (fileKey.empty())
            return Error{Error::Kind::kRefused, kPassphraseFails, ""};
        return fileKey;
    }
    if (with.secrets.empty())
        return Error{Error::Kind::kRefused,
                     x25519 ? "is encrypted to public keys (give --identity)"
                            : "has no stanza this program can open",
                     ""};
    for (const Stanza& s : header.stanzas) {
        // Other types are for other programs (or there to keep readers tolerant): skipped.
        if (s.type != "X25519")
            continue;
        for (const std::string& secret : with.secrets) {
            platform::Expected<std::string> fileKey = OpenX25519(s, secret);
            if (!fileKey)
                return fileKey.error();
            if (!fileKey->empty())
                return fileKey;
        }
    }
    return Error{Error::Kind::kRefused, kNoIdentityMatches, ""};
}

}  // namespace

platform::Expected<Stanza> X25519Stanza(const std::string& publicKey, const std::string& fileKey) {
    platform::Expected<std::string> ephemeral = NewX25519Secret();
    if (!ephemeral)
        return ephemeral.error();
    platform::Expected<std::string> share = X25519Public(*ephemeral);
    if (!share)
        return share.error();
    platform::Expected<std::string> shared = X25519Shared(*ephemeral, publicKey);
    if (!shared)
        return Error{Error::Kind::kRefused, "a recipient's key gives no shared secret", ""};
    platform::Expected<std::string> wrapKey =
        Hkdf(*share + publicKey, *shared, kX25519Info, kKeySize);
    if (!wrapKey)
        return wrapKey.error();
    platform::Expected<std::string> body = WrapFileKey(*wrapKey, fileKey);
    if (!body)
        return body.error();
    return Stanza{"X25519", {Base64Encode(*share)}, *body};
}

platform::Expected<Stanza> ScryptStanza(const std::string& passphrase, const std::string& fileKey,
                                        int log2N) {
    platform::Expected<std::string> salt = RandomBytes(kSaltSize);
    if (!salt)
        return salt.error();
    platform::Expected<std::string> key = Scrypt(passphrase, kScryptSaltLabel + *salt, log2N);
    if (!key)
        return key.error();
    platform::Expected<std::string> body = WrapFileKey(*key, fileKey);
    if (!body)
        return body.error();
    return Stanza{"scrypt", {Base64Encode(*salt), std::to_string(log2N)}, *body};
}

platform::Expected<std::unique_ptr<Encryption>> Encryption::Start(ByteSink& out,
                                                                  const Recipients& to) {
    if (to.passphrase && !to.publicKeys.empty())
        return Error{Error::Kind::kRefused, "a passphrase goes alone, without public keys", ""};
    if (!to.passphrase && to.publicKeys.empty())
        return Error{Error::Kind::kRefused, "no recipient and no passphrase given", ""};
    if (to.passphrase && (to.log2N < kLeastLog2N || to.log2N > kMostLog2N))
        return Error{Error::Kind::kRefused,
                     "the passphrase work factor must be from " + std::to_string(kLeastLog2N) +
                         " to " + std::to_string(kMostLog2N),
                     ""};
    platform::Expected<std::string> fileKey = RandomBytes(kFileKeySize);
    if (!fileKey)
        return fileKey.error();
    std::vector<Stanza> stanzas;
    if (to.passphrase) {
        platform::Expected<Stanza> s = ScryptStanza(*to.passphrase, *fileKey, to.log2N);
        if (!s)
            return s.error();
        stanzas.push_back(*s);
    }
    for (const std::string& key : to.publicKeys) {
        platform::Expected<Stanza> s = X25519Stanza(key, *fileKey);
        if (!s)
            return s.error();
        stanzas.push_back(*s);
    }
    platform::Expected<std::string> nonce = RandomBytes(kPayloadNonceSize);
    if (!nonce)
        return nonce.error();
    platform::Expected<std::string> header = HeaderText(stanzas, *fileKey);
    if (!header)
        return header.error();
    platform::Expected<std::string> payloadKey = PayloadKey(*fileKey, *nonce);
    if (!payloadKey)
        return payloadKey.error();
    // Nothing is written before every key is made: a refusal leaves the sink as it was.
    const std::string head = *header + *nonce;
    if (platform::Outcome written = out.Write(head.data(), head.size()); !written)
        return written.error();
    auto made = std::unique_ptr<Encryption>(new Encryption);
    made->stream_ = std::make_unique<StreamWriter>(out, *payloadKey);
    return made;
}

platform::Expected<std::unique_ptr<Decryption>> Decryption::Start(ByteSource& in,
                                                                  const Unlock& with) {
    auto made = std::unique_ptr<Decryption>(new Decryption);
    made->lines_ = std::make_unique<LineSource>(in);
    platform::Expected<Header> header = ReadHeader(*made->lines_);
    if (!header)
        return header.error();
    platform::Expected<std::string> fileKey = FindFileKey(*header, with);
    if (!fileKey)
        return fileKey.error();
    platform::Expected<bool> macMatches = HeaderMacMatches(*header, *fileKey);
    if (!macMatches)
        return macMatches.error();
    if (!*macMatches)
        return FileDamaged("has a changed header (its MAC does not match)");
    std::string nonce(kPayloadNonceSize, '\0');
    platform::Expected<std::size_t> n = ReadFull(*made->lines_, nonce.data(), nonce.size());
    if (!n)
        return n.error();
    if (*n != nonce.size())
        return FileDamaged("is cut short: it ends before its payload");
    platform::Expected<std::string> payloadKey = PayloadKey(*fileKey, nonce);
    if (!payloadKey)
        return payloadKey.error();
    made->stream_ =
        std::make_unique<StreamReader>(*made->lines_, *payloadKey, made->lines_->offset());
    return made;
}

}  // namespace disclosure::age
