#pragma once
// The header of an age v1 file: its version line, the stanzas that each wrap the file key for
// one recipient, and the MAC of the whole under a key of the file key.
#include <string>
#include <vector>

#include "disclosure/age/LineSource.h"

namespace disclosure::age {

constexpr const char* kVersionLine = "age-encryption.org/v1";
// No header of ours comes near it; it bounds what a reader takes before it knows the file.
constexpr std::size_t kMaxHeaderBytes = 64 * 1024;

struct Stanza {
    std::string type;
    std::vector<std::string> args;
    std::string body;  // the bytes, not their base64
};

struct Header {
    std::vector<Stanza> stanzas;
    std::string macedText;  // the header's bytes up to and including "---"
    std::string mac;        // 32 bytes
};

// The whole header's bytes, its MAC line made with fileKey; kFailed when libcrypto cannot make
// the MAC.
platform::Expected<std::string> HeaderText(const std::vector<Stanza>& stanzas,
                                           const std::string& fileKey);
// Reads a header; kDamaged (about the file) when it is not one a writer of the format makes.
platform::Expected<Header> ReadHeader(LineSource& in);
// Whether the header's MAC is the one fileKey makes; kFailed when libcrypto cannot make it.
platform::Expected<bool> HeaderMacMatches(const Header& header, const std::string& fileKey);

}  // namespace disclosure::age
