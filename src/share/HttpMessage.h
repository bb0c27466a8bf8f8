#pragma once
// The HTTP/1.1 messages quillon-share reads and writes: a request head read within fixed bounds,
// its body's framing, and the head of a reply. Nothing here touches a socket, so any bytes can
// be fed to it.
#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace share {

// Bounds of a request head; a client needs far less than any of them.
struct HeadLimits {
    std::size_t headBytes = 16 * 1024;  // the whole head, request line included
    std::size_t lineBytes = 8 * 1024;   // one line
    std::size_t headerLines = 48;       // header lines after the request line
};

struct HttpRequest {
    std::string method, target, path, version;
    std::vector<std::pair<std::string, std::string>> headers;  // names in lower case
    std::vector<std::pair<std::string, std::string>> query;    // decoded
    std::string body;
    std::string remote;  // the client's address

    // The value of a header ("" when absent) and how often it was given; name in lower case.
    std::string Header(std::string_view name) const;
    std::size_t HeaderCount(std::string_view name) const;
    std::string Param(std::string_view name) const;
    std::size_t ParamCount(std::string_view name) const;
};

// Where the head in `bytes` ends (just past its empty line); 0 while it has not ended.
// problem is set (and 0 returned) when the bytes seen already break a bound: a line too long,
// too many lines, or a head too large.
std::size_t HeadEnd(std::string_view bytes, const HeadLimits& limits, std::string* problem);

// Reads a complete head (as HeadEnd found it) into req. On failure: false, with the status to
// answer (400, 414, 431, 501, 505) and why.
bool ParseHead(std::string_view head, const HeadLimits& limits, HttpRequest& req, int* status,
               std::string* why);

// The length of the request's body from its head: false, with the status to answer, when it is
// not given by one plain Content-Length of at most maxBody (a transfer coding is refused, so that
// no body is read without knowing its length first).
bool BodyLength(const HttpRequest& req, std::size_t maxBody, std::size_t* length, int* status,
                std::string* why);

// The text without the spaces and tabs around it (a header value's optional white space).
std::string_view TrimBlanks(std::string_view text);

// "%XX" and '+' decoded; false when an escape is broken.
bool PercentDecode(std::string_view text, std::string& out);
// Percent-encodes a query value (all but letters, digits and -_.~).
std::string QueryValue(const std::string& text);

// The head of a reply with a body of contentLength bytes.
std::string ReplyHead(int status, const std::vector<std::pair<std::string, std::string>>& headers,
                      unsigned long long contentLength, bool keepAlive);

const char* ReasonPhrase(int status);

}  // namespace share
