#pragma once
// Boxes built in memory, big-endian, with their sizes filled in when they are closed.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace mp4 {

class BoxWriter {
  public:
    // Opens a box; a full box gets its version and flags at once. Boxes nest.
    void Open(std::string_view type);
    void OpenFull(std::string_view type, std::uint8_t version, std::uint32_t flags);
    // Closes the innermost open box, writing its 32-bit size; a box that outgrew 32 bits is
    // moved up by 8 bytes to take a 64-bit size.
    void Close();
    void U8(std::uint8_t v) { bytes_ += static_cast<char>(v); }
    void U16(std::uint16_t v);
    void U32(std::uint32_t v);
    void U64(std::uint64_t v);
    void Bytes(std::string_view raw) { bytes_ += raw; }
    // The text and its terminating NUL.
    void CString(std::string_view text);
    // Offset of the next byte, from the start of what this writer holds.
    std::size_t Here() const { return bytes_.size(); }
    // What was written; every box must be closed.
    const std::string& bytes() const { return bytes_; }
    std::string Take() { return std::move(bytes_); }

  private:
    std::string bytes_;
    std::vector<std::size_t> open_;
};

// Big-endian fields read from bytes; reading past the end sets failed() and gives zeros, so that
// a reader checks once at its end.
class FieldReader {
  public:
    explicit FieldReader(std::string_view bytes) : bytes_(bytes) {}
    std::uint8_t U8();
    std::uint16_t U16();
    std::uint32_t U32();
    std::uint64_t U64();
    // count raw bytes.
    std::string_view Bytes(std::size_t count);
    // A NUL-terminated text; fails when no NUL ends it.
    std::string CString();
    std::size_t Left() const { return failed_ ? 0 : bytes_.size() - at_; }
    bool failed() const { return failed_; }

  private:
    std::string_view bytes_;
    std::size_t at_ = 0;
    bool failed_ = false;
};

// The big-endian fields at p.
inline std::uint32_t GetU32(const unsigned char* p) {
    return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}
inline void PutU32(unsigned char* p, std::uint32_t v) {
    p[0] = static_cast<unsigned char>(v >> 24);
    p[1] = static_cast<unsigned char>(v >> 16);
    p[2] = static_cast<unsigned char>(v >> 8);
    p[3] = static_cast<unsigned char>(v);
}

}  // namespace mp4
