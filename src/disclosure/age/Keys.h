#pragma once
// The text forms of age's X25519 keys: a recipient "age1..." (the public key), an identity
// "AGE-SECRET-KEY-1..." (the secret key), and the files that list them one per line.
#include <string>
#include <vector>

#include "platform/Error.h"

namespace disclosure::age {

// The 32-byte public key a recipient string names, or why it names none.
platform::Expected<std::string> ParseRecipient(const std::string& text);
std::string RecipientText(const std::string& publicKey);
std::string IdentityText(const std::string& secret);

// A recipients file: one recipient a line, '#' comments and blank lines skipped. Refused when a
// line is no recipient (which line) or when it names none.
platform::Expected<std::vector<std::string>> ParseRecipientsFile(const std::string& text);
// An identity file: AGE-SECRET-KEY-1 lines, '#' comments and blank lines skipped; the secrets.
platform::Expected<std::vector<std::string>> ParseIdentityFile(const std::string& text);

// A new identity: its file's text (with the recipient in a comment) and its recipient.
struct NewIdentity {
    std::string fileText, recipient;
};
platform::Expected<NewIdentity> MakeIdentity();

}  // namespace disclosure::age
