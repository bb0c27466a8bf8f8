#pragma once
// One request and its reply, over any byte stream: the gate (the token) is asked before a byte
// of the body is read, the body must be a Content-Length within the site's limit, and a file
// reply is sent in the one range asked for. The sockets are HttpServer's; the fuzz harness feeds
// bytes through AnswerAll.
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
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
    // A file sent instead of body, whole or in the range asked for: its length, and a reader of
    // up to `size` bytes at `offset` that answers how many it read (0 or less: it cannot).
    long long fileLength = -1;
    std::function<long long(char* data, std::size_t size, unsigned long long offset)> readFile;
    // The same file, for a stream that sends files by the system's own means (optional), and
    // what is told before each piece of it is sent (optional).
    std::shared_ptr<platform::File> file;
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
    // Whether a request may take long to answer (a file sent to a client that reads it slowly):
    // such requests never take the workers kept for the others (optional: none are).
    std::function<bool(const HttpRequest&)> lengthy;
    // Told of every request answered or dropped, and of every connection refused or turned
    // away before its request was read (optional; on the thread that served it).
    std::function<void(const HttpOutcome&)> log;
};

class HttpStream {
  public:
    virtual ~HttpStream() = default;
    // Up to `size` bytes; 0 when the peer has closed or the deadline has passed.
    virtual std::size_t Read(char* data, std::size_t size,
                             std::chrono::steady_clock::time_point deadline) = 0;
    // False when the peer no longer takes bytes.
    virtual bool Write(std::string_view bytes) = 0;
    // Sends size bytes of file from offset without bringing them into the process; false when
    // the peer no longer takes bytes or the file has fewer. Only where SendsFiles().
    virtual bool SendsFiles() const { return false; }
    virtual bool SendFile(platform::File& file, unsigned long long offset, std::size_t size) {
        (void)file, (void)offset, (void)size;
        return false;
    }
};

// Answers the request whose head is in req; `pending` holds the bytes that came after the head
// and keeps those after the body. False when the connection must close.
bool AnswerRequest(const HttpSite& site, HttpRequest& req, std::string& pending, HttpStream& io);

// AnswerRequest in its steps, for a server that reads bodies itself. From the head alone: the
// gate, then the body's framing; true with the body's length when the body may be read, false
// with the refusal to send (the connection closes after it, its body unread).
bool AdmitRequest(const HttpSite& site, const HttpRequest& req, HttpResponse& refusal,
                  std::size_t* bodyLength);
// Sends and logs that refusal; always false (the connection must close).
bool SendRefusal(const HttpSite& site, const HttpRequest& req, const HttpResponse& refusal,
                 HttpStream& io);
// Answers an admitted request whose body is in req.body. False when the connection must close.
bool AnswerAdmitted(const HttpSite& site, HttpRequest& req, HttpStream& io);

// The reply to a head that could not be read, or to a connection turned away before it sent
// one; the connection closes after it.
std::string HeadRefusal(int status, const std::string& why,
                        const std::vector<std::pair<std::string, std::string>>& headers = {});

// Every request in `bytes` answered in turn, as over one connection; the replies' bytes.
std::string AnswerAll(const HttpSite& site, std::string_view bytes, const std::string& remote);

}  // namespace share
