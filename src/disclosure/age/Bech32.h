#pragma once
// Bech32 (the original checksum, not bech32m) of the age keys: a recipient "age1..." and an
// identity "AGE-SECRET-KEY-1...". A string is all lower or all upper case; the part before its
// last '1' is the human-readable prefix.
#include <optional>
#include <string>

namespace disclosure::age {

struct Bech32Value {
    std::string prefix;  // lower case
    std::string data;    // the bytes
};

// Lower case; the caller upper-cases an identity.
std::string Bech32Encode(const std::string& prefix, const std::string& data);
std::optional<Bech32Value> Bech32Decode(const std::string& text);

}  // namespace disclosure::age
