#pragma once
// UTF-8 as texts from recorders, operators and files come: any bytes, of which only valid
// sequences are characters (no overlong forms, no surrogates, nothing past U+10FFFF).
#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

constexpr char32_t kReplacementCharacter = 0xFFFD;

// The character at text[at] and its length in bytes; U+FFFD of length 1 for a byte that does
// not start a valid sequence.
char32_t NextCodePoint(std::string_view text, std::size_t at, std::size_t& length);

// Characters that draw nothing, or change how the characters around them are ordered or joined
// (C1 controls, the direction marks and overrides, the zero-width ones): shown by their escape
// wherever a text from outside is shown, so that nothing hides or reorders what is there.
bool IsInvisibleCharacter(char32_t c);

// Whether every byte of text is part of a valid sequence.
bool IsValidUtf8(std::string_view text);

// The character's UTF-8 bytes after out.
void AppendUtf8(std::string& out, char32_t c);

}  // namespace platform
