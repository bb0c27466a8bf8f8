#include "platform/Utf8.h"

#include <cstdint>

namespace platform {

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

char32_t NextCodePoint(std::string_view text, std::size_t at, std::size_t& length) {
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(text[at + i]); };
    const std::uint8_t lead = byte(0);
    length = 1;
    if (lead < 0x80)
        return lead;
    std::size_t need;
    char32_t c;
    char32_t least;
    if ((lead & 0xE0) == 0xC0) {
        need = 1, c = lead & 0x1F, least = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        need = 2, c = lead & 0x0F, least = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        need = 3, c = lead & 0x07, least = 0x10000;
    } else {
        return kReplacementCharacter;
    }
    if (at + need >= text.size())
        return kReplacementCharacter;
    for (std::size_t i = 1; i <= need; ++i) {
        if ((byte(i) & 0xC0) != 0x80)
            return kReplacementCharacter;
        c = (c << 6) | (byte(i) & 0x3F);
    }
    if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        return kReplacementCharacter;
    length = need + 1;
    return c;
}

bool IsValidUtf8(std::string_view text) {
    for (std::size_t at = 0, length = 0; at < text.size(); at += length)
        if (NextCodePoint(text, at, length) == kReplacementCharacter && length == 1)
            return false;
    return true;
}

bool IsInvisibleCharacter(char32_t c) {
    return (c >= 0x80 && c <= 0x9F) || c == 0xAD || c == 0x061C || (c >= 0x200B && c <= 0x200F) ||
           (c >= 0x2028 && c <= 0x202E) || (c >= 0x2060 && c <= 0x206F) || c == 0xFEFF ||
           (c >= 0xFFF9 && c <= 0xFFFB);
}

}  // namespace platform
