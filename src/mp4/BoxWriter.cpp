#include "mp4/BoxWriter.h"

namespace mp4 {

void BoxWriter::Open(std::string_view type) {
    open_.push_back(bytes_.size());
    U32(0);
    bytes_ += type.substr(0, 4);
}

void BoxWriter::OpenFull(std::string_view type, std::uint8_t version, std::uint32_t flags) {
    Open(type);
    U32(std::uint32_t{version} << 24 | (flags & 0xffffff));
}

void BoxWriter::Close() {
    const std::size_t start = open_.back();
    open_.pop_back();
    const std::uint64_t size = bytes_.size() - start;
    auto* p = reinterpret_cast<unsigned char*>(bytes_.data() + start);
    if (size <= 0xffffffffu) {
        PutU32(p, static_cast<std::uint32_t>(size));
        return;
    }
    // Size 1 and a 64-bit size after the type.
    const std::uint64_t large = size + 8;
    std::string wide(8, '\0');
    auto* w = reinterpret_cast<unsigned char*>(wide.data());
    PutU32(w, static_cast<std::uint32_t>(large >> 32));
    PutU32(w + 4, static_cast<std::uint32_t>(large));
    bytes_.insert(start + 8, wide);
    p = reinterpret_cast<unsigned char*>(bytes_.data() + start);
    PutU32(p, 1);
}

void BoxWriter::U16(std::uint16_t v) {
    U8(static_cast<std::uint8_t>(v >> 8));
    U8(static_cast<std::uint8_t>(v));
}

void BoxWriter::U32(std::uint32_t v) {
    U16(static_cast<std::uint16_t>(v >> 16));
    U16(static_cast<std::uint16_t>(v));
}

void BoxWriter::U64(std::uint64_t v) {
    U32(static_cast<std::uint32_t>(v >> 32));
    U32(static_cast<std::uint32_t>(v));
}

void BoxWriter::CString(std::string_view text) {
    bytes_ += text;
    bytes_ += '\0';
}

std::uint8_t FieldReader::U8() {
    const std::string_view b = Bytes(1);
    return b.empty() ? 0 : static_cast<std::uint8_t>(b[0]);
}

std::uint16_t FieldReader::U16() {
    const std::uint16_t high = U8();
    return static_cast<std::uint16_t>(high << 8 | U8());
}

std::uint32_t FieldReader::U32() {
    const std::uint32_t high = U16();
    return high << 16 | U16();
}

std::uint64_t FieldReader::U64() {
    const std::uint64_t high = U32();
    return high << 32 | U32();
}

std::string_view FieldReader::Bytes(std::size_t count) {
    if (failed_ || count > bytes_.size() - at_) {
        failed_ = true;
        return std::string_view();
    }
    const std::string_view out = bytes_.substr(at_, count);
    at_ += count;
    return out;
}

std::string FieldReader::CString() {
    if (failed_)
        return std::string();
    const std::size_t end = bytes_.find('\0', at_);
    if (end == std::string_view::npos) {
        failed_ = true;
        return std::string();
    }
    std::string out(bytes_.substr(at_, end - at_));
    at_ = end + 1;
    return out;
}

}  // namespace mp4
