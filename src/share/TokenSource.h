#pragma once
// Where quillon-share and its clients take the token from, so that it never has to be on a
// command line (which every user of the machine sees): a token file that only its user may
// read, the variable QUILLON_SHARE_TOKEN, or the service manager's credential "token"
// ($CREDENTIALS_DIRECTORY/token). The token itself is never part of a message.
#include <string>
#include <string_view>

namespace share {

constexpr const char* kTokenVariable = "QUILLON_SHARE_TOKEN";
constexpr const char* kCredentialName = "token";

struct FoundToken {
    std::string value;    // "" when none was found (or it cannot be used)
    std::string from;     // where it came from, for a message ("the token file /etc/x")
    std::string problem;  // why a token that was given cannot be used ("" when it can)
};

// Why text cannot be a token ("" when it can): a token is 1 to 1024 visible ASCII characters,
// nothing that a header would mangle or a log line split on.
std::string TokenTextProblem(std::string_view text);

// Reads a token file (a host path): its first line, surrounding blanks removed. It must be a
// regular file of the running user that nobody else may read or change (mode 0600 or
// stricter); a symbolic link in its place is refused, not followed.
FoundToken ReadTokenFile(const std::string& path);

// The token of a program that was given no token file: QUILLON_SHARE_TOKEN when it is set
// (and not empty), else the credential "token" when the service manager handed one over (a
// file every user may read is refused). value and from are "" when there is neither.
FoundToken EnvironmentToken();

// The token from a file given (tokenFile, "" for none), else from EnvironmentToken.
FoundToken FindToken(const std::string& tokenFile);

}  // namespace share
