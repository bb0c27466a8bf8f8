#pragma once
// The GETs of image files, on a connection of their own that stays open from one file to the
// next, read straight into a large buffer: a file of an image moves in pieces of up to a MiB,
// not of a few KB. Replies come with a Content-Length or chunked; anything else ends at the
// connection's close. Over TLS when the trust says so, verified as ShareLink's. Not
// thread-safe, as ShareLink.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/TcpStream.h"
#include "share/TlsTrust.h"

namespace share {

class TlsStream;

class FileFetch {
  public:
    FileFetch(std::string host, int port, std::string token, TlsTrust tls = {});
    ~FileFetch();
    FileFetch(const FileFetch&) = delete;
    FileFetch& operator=(const FileFetch&) = delete;

    struct Head {
        int status = 0;
        long long contentLength = -1;  // -1: not given; -2: given but unreadable
        long long rangeStart = -1;     // first byte of a 206 reply; -1: none
    };
    struct Result {
        bool complete = false;  // the whole reply arrived
        bool stopped = false;   // a callback said stop
        std::string linkError;  // why it did not arrive, in the operator's words
    };
    // GET path from byte `from` on (a Range request when from > 0); head sees the status first
    // and body every piece; either stops the transfer by returning false.
    Result Get(const std::string& path, long long from,
               const std::function<bool(const Head&)>& head,
               const std::function<bool(const char*, std::size_t)>& body);

  private:
    struct Reply;
    bool Connect(std::string* why);
    void Close();
    bool Send(const std::string& bytes);
    // Up to size bytes into data; 0 when the peer closed (readFailed_ false) or the read
    // failed or timed out (readFailed_ true).
    std::size_t Receive(char* data, std::size_t size);
    Result Exchange(const std::string& request, const std::function<bool(const Head&)>& head,
                    const std::function<bool(const char*, std::size_t)>& body, bool* retry);

    std::string host_;
    int port_;
    std::string token_;
    platform::TcpStream stream_;
    std::unique_ptr<TlsCheck> check_;  // with TLS
    std::unique_ptr<TlsStream> tls_;
    bool readFailed_ = false;
    std::vector<char> buffer_;
};

}  // namespace share
