#include "share/ShareAccess.h"

#include <algorithm>

#include "platform/NetAddress.h"

namespace share {

bool TokenMatches(const std::string& authorization, const std::string& token) {
    const std::string expected = "Bearer " + token;
    // Every byte of the longer text is looked at, so neither the time nor an early return
    // tells how much of a guess was right.
    const std::size_t n = std::max(authorization.size(), expected.size());
    unsigned diff = authorization.size() == expected.size() ? 0u : 1u;
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char a =
            i < authorization.size() ? static_cast<unsigned char>(authorization[i]) : 0;
        const unsigned char b = i < expected.size() ? static_cast<unsigned char>(expected[i]) : 0;
        diff |= static_cast<unsigned>(a ^ b);
    }
    return diff == 0 && !token.empty();
}

std::optional<ListenAddress> ParseListenAddress(const std::string& text) {
    const std::size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == text.size())
        return std::nullopt;
    ListenAddress a;
    a.host = text.substr(0, colon);
    if (a.host.front() == '[') {
        if (a.host.size() < 3 || a.host.back() != ']')
            return std::nullopt;
        a.host = a.host.substr(1, a.host.size() - 2);
    } else if (a.host.find(':') != std::string::npos) {
        return std::nullopt;  // an IPv6 address needs its brackets
    }
    const std::string port = text.substr(colon + 1);
    if (port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    a.port = std::stoi(port);
    if (a.port > 65535)
        return std::nullopt;
    return a;
}

bool IsLoopback(const std::string& host) {
    return host == "localhost" || platform::IsLoopbackAddress(host);
}

std::string ListenProblem(const std::string& host, const std::string& token) {
    if (token.empty() && !IsLoopback(host))
        return "listening on " + host +
               " lets other machines in: give a token (--token-file FILE, " +
               "QUILLON_SHARE_TOKEN or the service's credential \"token\"), or listen on "
               "127.0.0.1";
    return "";
}

}  // namespace share
