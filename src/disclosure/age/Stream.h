#pragma once
// The payload of an age file: a 16-byte nonce, then the plaintext in chunks of 64 KiB, each
// sealed with ChaCha20-Poly1305 under a key of the file key and that nonce. A chunk's nonce is
// its number (11 bytes, big-endian) and a last-chunk flag, so that chunks cannot be reordered,
// dropped or cut off at the end without the reader knowing.
#include <cstdint>
#include <memory>
#include <string>

#include "disclosure/ByteStream.h"
#include "disclosure/age/Primitives.h"

namespace disclosure::age {

constexpr std::size_t kChunkSize = 64 * 1024;
constexpr std::size_t kSealedChunkSize = kChunkSize + kTagSize;
constexpr std::size_t kPayloadNonceSize = 16;

// kFailed when libcrypto cannot derive it.
platform::Expected<std::string> PayloadKey(const std::string& fileKey, const std::string& nonce);

// Seals what it is given into out; Finish seals the last chunk (empty only when nothing came).
class StreamWriter : public ByteSink {
  public:
    StreamWriter(ByteSink& out, const std::string& payloadKey);
    platform::Outcome Write(const void* bytes, std::size_t count) override;
    platform::Outcome Finish();

  private:
    platform::Outcome Seal(bool last);
    ByteSink& out_;
    Aead aead_;
    std::unique_ptr<unsigned char[]> plain_, sealed_;
    std::size_t held_ = 0;
    std::uint64_t chunk_ = 0;
    bool finished_ = false;
};

// The plaintext of the chunks in, each handed out only once it authenticated. The end comes
// only after a chunk flagged last, with nothing after it; anything else is refused with the
// chunk and the file offset where it went wrong. payloadStart: the file offset of chunk 0.
class StreamReader : public ByteSource {
  public:
    StreamReader(ByteSource& in, const std::string& payloadKey, long long payloadStart);
    platform::Expected<std::size_t> Read(void* buffer, std::size_t count) override;
    // Every chunk read and authenticated, the last among them.
    bool ended() const { return ended_; }

  private:
    platform::Outcome NextChunk();
    std::string Where(std::uint64_t chunk) const;
    ByteSource& in_;
    Aead aead_;
    long long payloadStart_;
    std::unique_ptr<unsigned char[]> plain_, sealed_;
    std::size_t have_ = 0, at_ = 0;
    std::uint64_t chunk_ = 0;
    bool ended_ = false;
    bool peeked_ = false;
    unsigned char peek_ = 0;
};

}  // namespace disclosure::age
