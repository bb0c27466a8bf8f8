#include "disclosure/TarFormat.h"

#include <charconv>
#include <cstring>

namespace disclosure::tar {

namespace {

// Field offsets and widths of the ustar header.
constexpr std::size_t kMode = 100, kUid = 108, kGid = 116, kSize = 124, kMtime = 136,
                      kChecksum = 148, kTypeflag = 156, kMagic = 257, kVersion = 263, kPrefix = 345;

void Octal(std::string& block, std::size_t at, std::size_t width, std::uint64_t value) {
    // width - 1 digits, then the NUL.
    for (std::size_t i = width - 1; i-- > 0; value >>= 3)
        block[at + i] = static_cast<char>('0' + (value & 7));
}

unsigned Checksum(const unsigned char* block) {
    unsigned sum = 0;
    for (std::size_t i = 0; i < kBlock; ++i)
        sum += (i >= kChecksum && i < kChecksum + 8) ? ' ' : block[i];
    return sum;
}

std::optional<std::uint64_t> ReadOctal(const unsigned char* field, std::size_t width) {
    std::uint64_t value = 0;
    std::size_t i = 0;
    while (i < width && field[i] == ' ')
        ++i;
    bool any = false;
    for (; i < width && field[i] >= '0' && field[i] <= '7'; ++i) {
        value = (value << 3) | static_cast<std::uint64_t>(field[i] - '0');
        any = true;
    }
    for (; i < width; ++i)
        if (field[i] != ' ' && field[i] != '\0')
            return std::nullopt;
    if (!any)
        return std::nullopt;
    return value;
}

std::string Field(const unsigned char* at, std::size_t width) {
    std::size_t n = 0;
    while (n < width && at[n])
        ++n;
    return std::string(reinterpret_cast<const char*>(at), n);
}

}  // namespace

std::string HeaderBlock(const HeaderFields& f) {
    std::string block(kBlock, '\0');
    block.replace(0, std::min(f.name.size(), kNameField), f.name, 0, kNameField);
    Octal(block, kMode, 8, f.mode);
    Octal(block, kUid, 8, 0);
    Octal(block, kGid, 8, 0);
    Octal(block, kSize, 12, f.size > kMaxOctalSize ? 0 : f.size);
    Octal(block, kMtime, 12, f.mtime < 0 ? 0 : static_cast<std::uint64_t>(f.mtime));
    block[kTypeflag] = f.type;
    std::memcpy(&block[kMagic], "ustar", 6);
    std::memcpy(&block[kVersion], "00", 2);
    const unsigned sum = Checksum(reinterpret_cast<const unsigned char*>(block.data()));
    Octal(block, kChecksum, 7, sum);
    block[kChecksum + 7] = ' ';
    return block;
}

std::string PaxRecord(const std::string& key, const std::string& value) {
    const std::size_t rest = key.size() + value.size() + 3;  // ' ', '=', '\n'
    std::size_t length = rest + 1;
    while (std::to_string(length).size() + rest != length)
        length = std::to_string(length).size() + rest;
    return std::to_string(length) + " " + key + "=" + value + "\n";
}

std::size_t Padding(std::uint64_t count) {
    return static_cast<std::size_t>((kBlock - count % kBlock) % kBlock);
}

std::optional<ParsedHeader> ParseHeaderBlock(const unsigned char* block) {
    if (std::memcmp(block + kMagic, "ustar", 5) != 0)
        return std::nullopt;
    const auto sum = ReadOctal(block + kChecksum, 8);
    const auto size = ReadOctal(block + kSize, 12);
    if (!sum || *sum != Checksum(block) || !size)
        return std::nullopt;
    ParsedHeader h;
    h.name = Field(block, kNameField);
    const std::string prefix = Field(block + kPrefix, 155);
    if (!prefix.empty())
        h.name = prefix + "/" + h.name;
    h.size = *size;
    h.type = static_cast<char>(block[kTypeflag]);
    return h;
}

bool ParsePaxRecords(const std::string& data, std::optional<std::string>& path,
                     std::optional<std::uint64_t>& size) {
    std::size_t at = 0;
    while (at < data.size()) {
        std::size_t length = 0;
        const char* begin = data.data() + at;
        const auto [end, ec] = std::from_chars(begin, data.data() + data.size(), length);
        if (ec != std::errc() || *end != ' ' || length == 0 || length > data.size() - at ||
            data[at + length - 1] != '\n')
            return false;
        const std::string record(end + 1, data.data() + at + length - 1);
        const std::size_t eq = record.find('=');
        if (eq == std::string::npos)
            return false;
        const std::string key = record.substr(0, eq), value = record.substr(eq + 1);
        if (key == "path") {
            path = value;
        } else if (key == "size") {
            std::uint64_t n = 0;
            const auto [e, c] = std::from_chars(value.data(), value.data() + value.size(), n);
            if (c != std::errc() || e != value.data() + value.size() || value.empty())
                return false;
            size = n;
        }
        at += length;
    }
    return true;
}

}  // namespace disclosure::tar
