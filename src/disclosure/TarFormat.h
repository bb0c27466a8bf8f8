#pragma once
// The blocks of a POSIX tar archive (ustar, with pax extended headers for what its fields cannot
// hold), as the writer makes them and the reader takes them apart.
#include <cstdint>
#include <optional>
#include <string>

namespace disclosure::tar {

constexpr std::size_t kBlock = 512;
constexpr std::size_t kNameField = 100;
// The largest size the 11 octal digits of the size field hold.
constexpr std::uint64_t kMaxOctalSize = (std::uint64_t{1} << 33) - 1;

enum Type : char { kFile = '0', kOldFile = '\0', kFolder = '5', kPax = 'x', kGlobalPax = 'g' };

struct HeaderFields {
    std::string name;  // up to kNameField bytes
    std::uint64_t size = 0;
    std::int64_t mtime = 0;
    unsigned mode = 0644;
    char type = kFile;
};

// A header block (kBlock bytes) with its checksum.
std::string HeaderBlock(const HeaderFields& fields);
// One pax record, "LENGTH key=value\n", its length counting itself.
std::string PaxRecord(const std::string& key, const std::string& value);
// The zeros that fill count bytes up to a whole block.
std::size_t Padding(std::uint64_t count);

struct ParsedHeader {
    std::string name;  // prefix/name
    std::uint64_t size = 0;
    char type = kFile;
};
// A header block read back; nullopt when its checksum or magic is wrong.
std::optional<ParsedHeader> ParseHeaderBlock(const unsigned char* block);
// The "path" and "size" of a pax header's data; false when it is malformed.
bool ParsePaxRecords(const std::string& data, std::optional<std::string>& path,
                     std::optional<std::uint64_t>& size);

}  // namespace disclosure::tar
