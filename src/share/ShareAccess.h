#pragma once
// Who may talk to quillon-share: the bearer token every request must carry when one is set,
// and the listening addresses that may go without one.
#include <optional>
#include <string>

namespace share {

// True when the Authorization header value carries exactly this token ("Bearer TOKEN"). The
// comparison takes the same time wherever the first difference lies.
bool TokenMatches(const std::string& authorization, const std::string& token);

// An ADDRESS:PORT argument ("127.0.0.1:7004", "[::1]:7004", "0.0.0.0:7004").
struct ListenAddress {
    std::string host;
    int port = 0;
};
std::optional<ListenAddress> ParseListenAddress(const std::string& text);

bool IsLoopback(const std::string& host);
// Why the server must not listen on host with this token ("" when it may): only loopback
// addresses serve without a token.
std::string ListenProblem(const std::string& host, const std::string& token);

}  // namespace share
