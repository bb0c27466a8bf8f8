#include "share/TokenSource.h"

#include <cstdlib>

#include "platform/OwnerOnly.h"
#include "platform/TrustedPath.h"

namespace share {
namespace {

constexpr std::size_t kLongestToken = 1024;

bool Blank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && Blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && Blank(text.back()))
        text.remove_suffix(1);
    return text;
}

// The token of a file's text: one line, blanks around it allowed (an editor's final newline).
FoundToken TokenOfText(const std::string& text, std::string from) {
    FoundToken found{std::string(), std::move(from), std::string()};
    const std::string_view token = Trimmed(text);
    if (token.find_first_of("\r\n") != std::string_view::npos) {
        found.problem = found.from + " holds more than one line; it must hold the token alone";
        return found;
    }
    if (const std::string problem = TokenTextProblem(token); !problem.empty()) {
        found.problem = "the token in " + found.from + " " + problem;
        return found;
    }
    found.value = token;
    return found;
}

}  // namespace

std::string TokenTextProblem(std::string_view text) {
    if (text.empty())
        return "is empty";
    if (text.size() > kLongestToken)
        return "is longer than " + std::to_string(kLongestToken) + " characters";
    for (const char c : text)
        if (c <= ' ' || c > '~')
            return "holds a blank, a control or a non-ASCII character; a token is visible ASCII";
    return std::string();
}

FoundToken ReadTokenFile(const std::string& path) {
    const std::string from = "the token file " + path;
    // A file of its own in a folder others may change could be put in its place.
    const std::size_t slash = path.find_last_of('/');
    if (const platform::Outcome chain = platform::CheckFolderChain(
            slash == std::string::npos ? "." : path.substr(0, slash + 1));
        !chain)
        return FoundToken{std::string(), from,
                          from + " cannot be trusted: " + chain.error().Said()};
    // Room for the longest token with blanks and a line break or two around it.
    const platform::Expected<std::string> text =
        platform::ReadSecretFile(path, platform::SecretFile::kOwnerOnly, kLongestToken + 64);
    if (!text)
        return FoundToken{std::string(), from, "the token file " + text.error().Said()};
    return TokenOfText(*text, from);
}

FoundToken EnvironmentToken() {
    // Set but empty is as good as not set, as the shell's `VAR= program` means it.
    if (const char* value = std::getenv(kTokenVariable); value && *value) {
        FoundToken found{value, kTokenVariable, std::string()};
        if (const std::string problem = TokenTextProblem(found.value); !problem.empty()) {
            found.value.clear();
            found.problem = std::string("the token in ") + kTokenVariable + " " + problem;
        }
        return found;
    }
    const char* folder = std::getenv("CREDENTIALS_DIRECTORY");
    if (!folder || !*folder)
        return FoundToken{};
    const std::string path = std::string(folder) + "/" + kCredentialName;
    // The service manager makes the file the service's alone, in its own way (an access list
    // may grant it): only a file every user may read is refused.
    const platform::Expected<std::string> text =
        platform::ReadSecretFile(path, platform::SecretFile::kHandedOver, kLongestToken + 64);
    // None at all: the service was handed other credentials, not ours.
    if (!text && text.error().kind == platform::Error::Kind::kNotFound)
        return FoundToken{};
    if (!text)
        return FoundToken{std::string(), "the credential " + path,
                          "the credential " + text.error().Said()};
    return TokenOfText(*text, "the credential " + path);
}

FoundToken FindToken(const std::string& tokenFile) {
    return tokenFile.empty() ? EnvironmentToken() : ReadTokenFile(tokenFile);
}

}  // namespace share
