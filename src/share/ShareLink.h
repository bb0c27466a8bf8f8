#pragma once
// The client's requests to quillon-share: one server, its token, bounded replies. A reply
// longer than the caller allows is cut off and reported rather than held in memory. With TLS,
// every connection verifies the server as the trust says (TlsTrust.h), the files' own too.
// Not thread-safe: each thread uses a link of its own.
#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "share/HttpMessage.h"  // QueryValue, for the paths asked for
#include "share/TlsTrust.h"

namespace httplib {
class ClientImpl;
enum class Error;
}  // namespace httplib

namespace share {

class FileFetch;

class ShareLink {
  public:
    ShareLink(std::string host, int port, std::string token, TlsTrust tls = {});
    ~ShareLink();
    ShareLink(const ShareLink&) = delete;
    ShareLink& operator=(const ShareLink&) = delete;

    struct Reply {
        std::string linkError;  // "" when the server answered
        int status = 0;
        std::string body;
        std::string retryAfter;  // a crowded server's Retry-After (seconds), "" when none
        bool ok() const { return linkError.empty() && status == 200; }
        // Why a request for `what` failed, in the operator's words.
        std::string Problem(const std::string& what) const;
    };
    Reply Post(const std::string& path, const std::string& body, std::size_t limit);
    Reply Get(const std::string& path, std::size_t limit);

    // What a ranged GET learns before its body.
    struct Head {
        int status = 0;
        long long contentLength = -1;  // -1: not given
        long long rangeStart = -1;     // first byte of a 206 reply; -1: none
    };
    struct FetchResult {
        bool complete = false;  // the whole reply arrived
        bool stopped = false;   // a callback said stop
        std::string linkError;  // why it did not arrive
    };
    // GET path from byte `from` on (a Range request when from > 0). head sees the status first
    // and body every piece; either stops the transfer by returning false. The connection stays
    // open for the next file.
    FetchResult Fetch(const std::string& path, long long from,
                      const std::function<bool(const Head&)>& head,
                      const std::function<bool(const char*, std::size_t)>& body);

    std::string where() const { return host_ + ":" + std::to_string(port_); }
    // A link of its own to the same server, for another thread.
    std::unique_ptr<ShareLink> Another() const {
        return std::make_unique<ShareLink>(host_, port_, token_, tls_);
    }

  private:
    // The client, or null with linkError set when TLS cannot be set up as the trust says.
    httplib::ClientImpl* client(std::string* linkError);
    std::string LinkError(httplib::Error e) const;
    std::string host_;
    int port_;
    std::string token_;
    TlsTrust tls_;
    std::unique_ptr<TlsCheck> check_;  // with TLS; outlives the client's connections
    std::unique_ptr<httplib::ClientImpl> client_;
    std::unique_ptr<FileFetch> files_;  // the file replies, on a connection of their own
};

// How a 503 of a crowded server is told: "turned away by the server: WHY; it asks to be tried
// again in N s". said: the reply's text; retryAfter: its Retry-After header.
std::string TurnedAway(std::string said, const std::string& retryAfter);

}  // namespace share
