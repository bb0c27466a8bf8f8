#pragma once
// An age v1 file as a whole: the header for its recipients (public keys, or one passphrase)
// followed by the sealed payload, written into a sink and read back from a source.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "disclosure/age/Header.h"
#include "disclosure/age/Stream.h"

namespace disclosure::age {

// scrypt's work factor: the default of a new file, the least a new file may have, and the most
// a reader spends (2^22 blocks take 4 GiB and seconds; no file of ours asks for more).
constexpr int kDefaultLog2N = 18, kLeastLog2N = 10, kMostLog2N = 22;

struct Recipients {
    std::vector<std::string> publicKeys;    // X25519, 32 bytes each
    std::optional<std::string> passphrase;  // alone: never beside public keys
    int log2N = kDefaultLog2N;
};

// What opens a file: the secrets of an identity file, or a passphrase.
struct Unlock {
    std::vector<std::string> secrets;
    std::optional<std::string> passphrase;
};

// An encrypted file being written: Writer() takes the plaintext, Finish() seals its end.
class Encryption {
  public:
    static platform::Expected<std::unique_ptr<Encryption>> Start(ByteSink& out,
                                                                 const Recipients& to);
    StreamWriter& Writer() { return *stream_; }
    platform::Outcome Finish() { return stream_->Finish(); }

  private:
    std::unique_ptr<StreamWriter> stream_;
};

// The texts of the two refusals of a file nothing given opens, which name the file after them.
constexpr const char* kNoIdentityMatches = "no identity matches a recipient of";
constexpr const char* kPassphraseFails = "the passphrase does not open";

// An encrypted file being read: its header checked and its file key found; Reader() hands out
// the plaintext. Refusals say what of the file is wrong (kDamaged) or that nothing given opens
// it (kRefused): "no identity matches a recipient", "the passphrase does not open it".
class Decryption {
  public:
    static platform::Expected<std::unique_ptr<Decryption>> Start(ByteSource& in,
                                                                 const Unlock& with);
    StreamReader& Reader() { return *stream_; }

  private:
    std::unique_ptr<LineSource> lines_;
    std::unique_ptr<StreamReader> stream_;
};

// The stanza of one recipient for fileKey.
platform::Expected<Stanza> X25519Stanza(const std::string& publicKey, const std::string& fileKey);
platform::Expected<Stanza> ScryptStanza(const std::string& passphrase, const std::string& fileKey,
                                        int log2N);

}  // namespace disclosure::age
