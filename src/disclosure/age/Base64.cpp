#include "disclosure/age/Base64.h"

#include <cstdint>

namespace disclosure::age {

namespace {

const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int ValueOf(char c) {
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return -1;
}

}  // namespace

std::string Base64Encode(const std::string& bytes) {
    std::string out;
    out.reserve((bytes.size() * 4 + 2) / 3);
    std::uint32_t bits = 0;
    int held = 0;
    for (unsigned char c : bytes) {
        bits = (bits << 8) | c;
        held += 8;
        while (held >= 6) {
            held -= 6;
            out += kAlphabet[(bits >> held) & 63];
        }
    }
    if (held > 0)
        out += kAlphabet[(bits << (6 - held)) & 63];
    return out;
}

std::optional<std::string> Base64Decode(const std::string& text) {
    // One character left over carries less than a byte: no encoder writes it.
    if (text.size() % 4 == 1)
        return std::nullopt;
    std::string out;
    out.reserve(text.size() * 3 / 4);
    std::uint32_t bits = 0;
    int held = 0;
    for (char c : text) {
        const int v = ValueOf(c);
        if (v < 0)
            return std::nullopt;
        bits = (bits << 6) | static_cast<std::uint32_t>(v);
        held += 6;
        if (held >= 8) {
            held -= 8;
            out += static_cast<char>((bits >> held) & 0xff);
        }
    }
    if ((bits & ((1u << held) - 1)) != 0)
        return std::nullopt;
    return out;
}

}  // namespace disclosure::age
