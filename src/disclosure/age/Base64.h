#pragma once
// Standard base64 without padding, as the age header writes it. Decoding is strict: no padding,
// no other characters, and the unused bits of the last character zero, so that one value has
// one spelling (the header's MAC covers its text).
#include <optional>
#include <string>

namespace disclosure::age {

std::string Base64Encode(const std::string& bytes);
std::optional<std::string> Base64Decode(const std::string& text);

}  // namespace disclosure::age
