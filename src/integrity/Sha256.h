#pragma once
// SHA-256 of a stream of bytes, as sha256sum prints it (lower-case hex).
#include <array>
#include <cstddef>
#include <string>

namespace integrity {

class Sha256 {
  public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;
    void Update(const void* bytes, std::size_t count);
    // The digest of everything given; the object starts again after it.
    std::array<unsigned char, 32> Final();
    std::string HexFinal();
    // Takes other's state: what it was given so far, so that two digests can share a prefix.
    void CopyFrom(const Sha256& other);

  private:
    void* ctx_;  // the library's digest context
};

std::string Sha256Hex(const void* bytes, std::size_t count);
std::string ToHex(const unsigned char* bytes, std::size_t count);

}  // namespace integrity
