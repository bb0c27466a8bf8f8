#include "disclosure/age/Stream.h"

#include <algorithm>
#include <cstring>

namespace disclosure::age {

using platform::Error;

namespace {

void ChunkNonce(std::uint64_t chunk, bool last, unsigned char* nonce) {
    std::memset(nonce, 0, kNonceSize);
    for (int i = 0; i < 8; ++i)
        nonce[10 - i] = static_cast<unsigned char>(chunk >> (8 * i));
    nonce[11] = last ? 1 : 0;
}

}  // namespace

platform::Expected<std::string> PayloadKey(const std::string& fileKey, const std::string& nonce) {
    return Hkdf(nonce, fileKey, "payload", kKeySize);
}

StreamWriter::StreamWriter(ByteSink& out, const std::string& payloadKey)
    : out_(out),
      aead_(payloadKey),
      plain_(new unsigned char[kChunkSize]),
      sealed_(new unsigned char[kSealedChunkSize]) {}

platform::Outcome StreamWriter::Seal(bool last) {
    unsigned char nonce[kNonceSize];
    ChunkNonce(chunk_, last, nonce);
    if (!aead_.Seal(nonce, plain_.get(), held_, sealed_.get()))
        return Error{Error::Kind::kFailed, "a chunk cannot be sealed", ""};
    ++chunk_;
    const std::size_t n = held_ + kTagSize;
    held_ = 0;
    return out_.Write(sealed_.get(), n);
}

platform::Outcome StreamWriter::Write(const void* bytes, std::size_t count) {
    const auto* p = static_cast<const unsigned char*>(bytes);
    while (count > 0) {
        // A full chunk waits for more bytes: only they say that it is not the last.
        if (held_ == kChunkSize)
            if (platform::Outcome sealed = Seal(false); !sealed)
                return sealed;
        const std::size_t n = std::min(count, kChunkSize - held_);
        std::memcpy(plain_.get() + held_, p, n);
        held_ += n;
        p += n;
        count -= n;
    }
    return platform::Succeeded();
}

platform::Outcome StreamWriter::Finish() {
    if (finished_)
        return platform::Succeeded();
    finished_ = true;
    return Seal(true);
}

StreamReader::StreamReader(ByteSource& in, const std::string& payloadKey, long long payloadStart)
    : in_(in),
      aead_(payloadKey),
      payloadStart_(payloadStart),
      plain_(new unsigned char[kChunkSize]),
      sealed_(new unsigned char[kSealedChunkSize]) {}

std::string StreamReader::Where(std::uint64_t chunk) const {
    const long long from = payloadStart_ + static_cast<long long>(chunk * kSealedChunkSize);
    return "chunk " + std::to_string(chunk) + " (file bytes from " + std::to_string(from) + ")";
}

platform::Outcome StreamReader::NextChunk() {
    std::size_t got = 0;
    if (peeked_) {
        sealed_[0] = peek_;
        got = 1;
        peeked_ = false;
    }
    platform::Expected<std::size_t> n = ReadFull(in_, sealed_.get() + got, kSealedChunkSize - got);
    if (!n)
        return n.error();
    got += *n;
    bool atEnd = got < kSealedChunkSize;
    if (!atEnd) {
        platform::Expected<std::size_t> more = ReadFull(in_, &peek_, 1);
        if (!more)
            return more.error();
        atEnd = *more == 0;
        peeked_ = !atEnd;
    }
    if (got < kTagSize)
        return Error{Error::Kind::kDamaged,
                     "is cut short: it ends inside " + Where(chunk_) +
                         (got == 0 && chunk_ > 0 ? ", after a chunk that is not its last" : ""),
                     ""};
    unsigned char nonce[kNonceSize];
    ChunkNonce(chunk_, atEnd, nonce);
    bool opened = aead_.Open(nonce, sealed_.get(), got, plain_.get());
    if (!opened && !atEnd) {
        // A full chunk flagged last with bytes after it: say so rather than call it changed.
        ChunkNonce(chunk_, true, nonce);
        if (aead_.Open(nonce, sealed_.get(), got, plain_.get()))
            return Error{Error::Kind::kDamaged,
                         "has bytes after its last chunk, from byte " +
                             std::to_string(payloadStart_ + static_cast<long long>(
                                                                (chunk_ + 1) * kSealedChunkSize)),
                         ""};
    }
    if (!opened)
        return Error{
            Error::Kind::kDamaged,
            "fails authentication at " + Where(chunk_) + ": it was changed or cut short there", ""};
    have_ = got - kTagSize;
    at_ = 0;
    if (atEnd && have_ == 0 && chunk_ > 0)
        return Error{Error::Kind::kDamaged,
                     "has an empty last chunk after others at " + Where(chunk_), ""};
    ++chunk_;
    ended_ = atEnd;
    return platform::Succeeded();
}

platform::Expected<std::size_t> StreamReader::Read(void* buffer, std::size_t count) {
    while (at_ == have_) {
        if (ended_)
            return std::size_t{0};
        if (platform::Outcome next = NextChunk(); !next)
            return next.error();
    }
    const std::size_t n = std::min(count, have_ - at_);
    std::memcpy(buffer, plain_.get() + at_, n);
    at_ += n;
    return n;
}

}  // namespace disclosure::age
