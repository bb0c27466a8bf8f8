#pragma once
// What a site serves and the bounds it keeps, whatever engine carries its requests: the gate
// (the token) is asked before a byte of the body is read, the body must be a Content-Length
// within the site's limit, and a file reply is sent in the one range asked for.
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/File.h"
#include "share/HttpMessage.h"

namespace share {

struct HttpResponse {
    int status = 200;
    std::string contentType = "text/plain; charset=utf-8";
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;
    // A file sent instead of body, whole or in the range asked for, and its length; and what is
    // told while it is being sent, now and then until it has gone (optional).
    std::shared_ptr<platform::File> file;
    long long fileLength = -1;
    std::function<void()> sending;

    void Text(int code, const std::string& text) {
        status = code;
        contentType = "text/plain; charset=utf-8";
        body = text + "\n";
    }
};

// What became of one request, or of a connection that brought none, for the site's log.
struct HttpOutcome {
    std::string remote;                    // the client's address
    const HttpRequest* request = nullptr;  // null when no request was read
    int status = 0;                        // of the reply sent; 0 when none was
    unsigned long long bytes = 0;          // of the reply's body that went out
    bool complete = true;                  // false: the connection ended before the reply did
    std::string why;                       // a refusal's reason, or why the connection ended
};

// What a server serves and the bounds it keeps.
struct HttpSite {
    HeadLimits limits;
    std::size_t maxBody = 64 * 1024;
    std::chrono::milliseconds bodyTime{5000};  // to receive a whole body
    // Asked before the body is read: false refuses the request with res as it stands.
    std::function<bool(const HttpRequest&, HttpResponse&)> gate;
    std::function<void(const HttpRequest&, HttpResponse&)> handle;
    // Told of every request answered or dropped, and of every connection refused or turned
    // away before its request was read (optional; on the thread that served it).
    std::function<void(const HttpOutcome&)> log;
};

// From a request's head alone: the gate, then the body's framing; true with the body's length
// when the body may be read, false with the refusal to send (the connection closes after it,
// its body unread).
bool AdmitRequest(const HttpSite& site, const HttpRequest& req, HttpResponse& refusal,
                  std::size_t* bodyLength);
// The reply to a head that could not be read, or to a connection turned away before it sent
// one; the connection closes after it.
std::string HeadRefusal(int status, const std::string& why,
                        const std::vector<std::pair<std::string, std::string>>& headers = {});

}  // namespace share
