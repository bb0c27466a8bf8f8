#include "disclosure/age/Keys.h"

#include <sstream>

#include "disclosure/age/Bech32.h"
#include "disclosure/age/Primitives.h"

namespace disclosure::age {

using platform::Error;

namespace {

constexpr const char* kRecipientPrefix = "age";
constexpr const char* kIdentityPrefix = "age-secret-key-";

std::string Upper(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return s;
}

// The lines of a key file that are neither blank nor comments, with their numbers.
std::vector<std::pair<int, std::string>> KeyLines(const std::string& text) {
    std::vector<std::pair<int, std::string>> lines;
    std::istringstream in(text);
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const std::size_t start = line.find_first_not_of(" \t");
        if (start == std::string::npos || line[start] == '#')
            continue;
        const std::size_t end = line.find_last_not_of(" \t");
        lines.emplace_back(number, line.substr(start, end - start + 1));
    }
    return lines;
}

}  // namespace

platform::Expected<std::string> ParseRecipient(const std::string& text) {
    const auto value = Bech32Decode(text);
    // Upper case is valid Bech32 but no recipient of age's is written so.
    if (!value || value->prefix != kRecipientPrefix || value->data.size() != kKeySize ||
        text.find_first_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ") != std::string::npos)
        return Error{Error::Kind::kRefused, "is no age recipient (age1...)", text};
    return value->data;
}

std::string RecipientText(const std::string& publicKey) {
    return Bech32Encode(kRecipientPrefix, publicKey);
}

std::string IdentityText(const std::string& secret) {
    return Upper(Bech32Encode(kIdentityPrefix, secret));
}

platform::Expected<std::vector<std::string>> ParseRecipientsFile(const std::string& text) {
    std::vector<std::string> keys;
    for (const auto& [number, line] : KeyLines(text)) {
        platform::Expected<std::string> key = ParseRecipient(line);
        if (!key)
            return Error{Error::Kind::kRefused,
                         "line " + std::to_string(number) + " is no age recipient (age1...)", ""};
        keys.push_back(*key);
    }
    if (keys.empty())
        return Error{Error::Kind::kRefused, "names no recipient", ""};
    return keys;
}

platform::Expected<std::vector<std::string>> ParseIdentityFile(const std::string& text) {
    std::vector<std::string> secrets;
    for (const auto& [number, line] : KeyLines(text)) {
        const auto value = Bech32Decode(line);
        if (!value || value->prefix != kIdentityPrefix || value->data.size() != kKeySize ||
            line != Upper(line))
            return Error{
                Error::Kind::kRefused,
                "line " + std::to_string(number) + " is no age identity (AGE-SECRET-KEY-1...)", ""};
        secrets.push_back(value->data);
    }
    if (secrets.empty())
        return Error{Error::Kind::kRefused, "holds no identity", ""};
    return secrets;
}

platform::Expected<NewIdentity> MakeIdentity() {
    platform::Expected<std::string> secret = NewX25519Secret();
    if (!secret)
        return secret.error();
    platform::Expected<std::string> pub = X25519Public(*secret);
    if (!pub)
        return pub.error();
    NewIdentity made;
    made.recipient = RecipientText(*pub);
    made.fileText = "# public key: " + made.recipient + "\n" + IdentityText(*secret) + "\n";
    return made;
}

}  // namespace disclosure::age
