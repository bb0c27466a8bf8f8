#pragma once
// The box tree of an ISO base media (MP4) file, read from its headers alone: a box's payload is
// read only when asked for, so that the tree of a file of many gigabytes costs a few small
// reads. A malformed tree is refused with the reason, never half read.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/File.h"

namespace mp4 {

// Where the boxes are read from.
class ByteSource {
  public:
    virtual ~ByteSource() = default;
    virtual std::uint64_t Size() const = 0;
    // Reads exactly count bytes at offset; false when they are not all there.
    virtual bool ReadAt(std::uint64_t offset, void* out, std::size_t count) = 0;
};

class MemorySource : public ByteSource {
  public:
    explicit MemorySource(const std::string& bytes) : bytes_(bytes) {}
    std::uint64_t Size() const override { return bytes_.size(); }
    bool ReadAt(std::uint64_t offset, void* out, std::size_t count) override;

  private:
    const std::string& bytes_;
};

class FileSource : public ByteSource {
  public:
    // A host or drive path; false when it cannot be opened as a file.
    bool Open(const std::string& path);
    std::uint64_t Size() const override { return size_; }
    bool ReadAt(std::uint64_t offset, void* out, std::size_t count) override;

  private:
    platform::File file_;
    std::uint64_t size_ = 0;
};

struct Box {
    std::string type;              // the four characters
    std::uint64_t offset = 0;      // of the header's first byte in the file
    std::uint64_t size = 0;        // header included
    std::uint32_t headerSize = 0;  // 8, 16 with a 64-bit size, 16 more for a 'uuid' box
    bool full = false;             // a full box: version and flags follow the header
    std::uint8_t version = 0;
    std::uint32_t flags = 0;    // 24 bits
    std::vector<Box> children;  // of the boxes known to hold boxes

    std::uint64_t End() const { return offset + size; }
    // The bytes after the header and, for a full box, after version and flags.
    std::uint64_t PayloadOffset() const { return offset + headerSize + (full ? 4 : 0); }
    std::uint64_t PayloadSize() const { return End() - PayloadOffset(); }
    // The first child of a type (nullptr when none) and the number of them.
    const Box* Child(const char* childType) const;
    std::size_t Count(const char* childType) const;
};

// Nesting deeper than this is refused: no file we read or write goes beyond a dozen.
constexpr int kMaxBoxDepth = 24;

// Reads the whole tree; "" when it is well formed, else why (a box running past its parent, a
// size below its header, a cut header), the tree then left empty.
std::string ReadBoxTree(ByteSource& source, std::vector<Box>& top);
std::string ReadBoxTree(const std::string& path, std::vector<Box>& top);

// The whole box, header included, when it is no longer than limit; "" when it is, else why.
std::string ReadBoxBytes(ByteSource& source, const Box& box, std::string& out, std::uint64_t limit);

// The boxes of a type among a list, in order.
std::vector<const Box*> BoxesOfType(const std::vector<Box>& boxes, const char* type);

// Whether a four-character type is one of a list of them.
bool TypeAmong(std::string_view type, const auto& types) {
    for (std::string_view known : types)
        if (known == type)
            return true;
    return false;
}

}  // namespace mp4
