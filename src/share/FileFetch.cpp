#include "share/FileFetch.h"

#include <algorithm>
#include <cstring>

#include "share/TlsStream.h"

namespace share {
namespace {

constexpr std::size_t kBufferBytes = std::size_t{1} << 20;
constexpr std::size_t kMaxHeadBytes = 64 * 1024;

bool EqualNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

std::string_view TrimBlanksAndCr(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

// A decimal number of at most 18 digits; -2 when the text is none.
long long Number(std::string_view v) {
    if (v.empty() || v.size() > 18 || v.find_first_not_of("0123456789") != std::string_view::npos)
        return -2;
    return std::stoll(std::string(v));
}

// "bytes START-END/TOTAL" -> START; -1 when it is not of that form.
long long RangeStart(std::string_view v) {
    constexpr std::string_view prefix = "bytes ";
    if (v.substr(0, prefix.size()) != prefix)
        return -1;
    const std::size_t dash = v.find('-', prefix.size());
    if (dash == std::string_view::npos)
        return -1;
    const long long start = Number(v.substr(prefix.size(), dash - prefix.size()));
    return start < 0 ? -1 : start;
}

}  // namespace

// What the head of a reply says about its body.
struct FileFetch::Reply {
    FileFetch::Head head;
    bool chunked = false;
    bool close = false;  // the server closes the connection after the reply
};

FileFetch::FileFetch(std::string host, int port, std::string token, TlsTrust tls)
    : host_(std::move(host)), port_(port), token_(std::move(token)) {
    if (tls.on) {
        check_ = std::make_unique<TlsCheck>(std::move(tls), host_, port_);
        tls_ = std::make_unique<TlsStream>(*check_);
    }
}

FileFetch::~FileFetch() {
    Close();
}

void FileFetch::Close() {
    if (tls_)
        tls_->Close();
    stream_.Close();
}

bool FileFetch::Connect(std::string* why) {
    *why = "the server cannot be reached (" + host_ + ":" + std::to_string(port_) + ")";
    if (!stream_.Connect(host_, port_, platform::TcpStream::Limits()))
        return false;
    if (tls_ && !tls_->Start(stream_.handle(), why)) {
        stream_.Close();
        return false;
    }
    return true;
}

bool FileFetch::Send(const std::string& bytes) {
    return tls_ ? tls_->SendAll(bytes) : stream_.SendAll(bytes);
}

std::size_t FileFetch::Receive(char* data, std::size_t size) {
    return tls_ ? tls_->Receive(data, size, &readFailed_)
                : stream_.Receive(data, size, &readFailed_);
}

FileFetch::Result FileFetch::Get(const std::string& path, long long from,
                                 const std::function<bool(const Head&)>& head,
                                 const std::function<bool(const char*, std::size_t)>& body) {
    std::string request =
        "GET " + path + " HTTP/1.1\r\nHost: " + host_ + ":" + std::to_string(port_) + "\r\n";
    if (!token_.empty())
        request += "Authorization: Bearer " + token_ + "\r\n";
    if (from > 0)
        request += "Range: bytes=" + std::to_string(from) + "-\r\n";
    request += "Connection: keep-alive\r\n\r\n";
    if (buffer_.empty())
        buffer_.resize(kBufferBytes);
    // A connection kept from the file before may have been closed by the server meanwhile:
    // then the request goes once more on a new one.
    const bool reused = stream_.IsOpen();
    bool retry = false;
    Result r;
    if (reused) {
        r = Exchange(request, head, body, &retry);
        if (!retry)
            return r;
    }
    std::string why;
    if (!Connect(&why)) {
        r.linkError = why;
        return r;
    }
    return Exchange(request, head, body, &retry);
}

FileFetch::Result FileFetch::Exchange(const std::string& request,
                                      const std::function<bool(const Head&)>& head,
                                      const std::function<bool(const char*, std::size_t)>& body,
                                      bool* retry) {
    const std::string where = " (" + host_ + ":" + std::to_string(port_) + ")";
    Result r;
    auto lost = [&](const char* how) {
        Close();
        r.linkError = std::string(how) + where;
        return r;
    };
    if (!Send(request)) {
        *retry = true;
        return lost("the connection was lost while sending");
    }
    // The head, with what came after it in the buffer from `at` to `end`.
    char* const data = buffer_.data();
    std::size_t end = 0, headEnd = 0;
    while (headEnd == 0) {
        if (end == kMaxHeadBytes)
            return lost("the server's reply head is too long");
        const std::size_t n = Receive(data + end, kMaxHeadBytes - end);
        if (n == 0) {
            *retry = end == 0;
            return lost("the connection was lost while reading");
        }
        end += n;
        const std::string_view seen(data, end);
        const std::size_t blank = seen.find("\r\n\r\n");
        if (blank != std::string_view::npos)
            headEnd = blank + 4;
    }
    Reply reply;
    std::string_view lines(data, headEnd - 2);
    const std::size_t first = lines.find("\r\n");
    const std::string_view statusLine = lines.substr(0, first);
    if (statusLine.size() < 12 || statusLine.substr(0, 7) != "HTTP/1." || statusLine[8] != ' ')
        return lost("the server's reply is not HTTP");
    const long long status = Number(statusLine.substr(9, 3));
    if (status < 100)
        return lost("the server's reply is not HTTP");
    reply.head.status = static_cast<int>(status);
    reply.close = statusLine[7] == '0';
    for (std::size_t at = first + 2; at < lines.size();) {
        const std::size_t next = std::min(lines.find("\r\n", at), lines.size());
        const std::string_view line = lines.substr(at, next - at);
        at = next + 2;
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos)
            continue;
        const std::string_view key = line.substr(0, colon),
                               value = TrimBlanksAndCr(line.substr(colon + 1));
        if (EqualNoCase(key, "content-length"))
            reply.head.contentLength = Number(value);
        else if (EqualNoCase(key, "content-range"))
            reply.head.rangeStart = RangeStart(value);
        else if (EqualNoCase(key, "transfer-encoding"))
            reply.chunked = EqualNoCase(value, "chunked");
        else if (EqualNoCase(key, "connection"))
            reply.close = EqualNoCase(value, "close");
    }
    if (reply.chunked)
        reply.head.contentLength = -1;
    if (!head(reply.head)) {
        Close();  // its body unread: the connection cannot carry another reply
        r.stopped = true;
        return r;
    }

    std::size_t at = headEnd;
    // The next bytes of the reply in data[at, end): false when the connection ended first.
    auto fill = [&]() {
        if (at < end)
            return true;
        at = end = 0;
        end = Receive(data, buffer_.size());
        return end > 0;
    };
    // count bytes of the body, or all up to the close when count is -1.
    auto pass = [&](long long count) {
        while (count != 0) {
            if (!fill())
                return count < 0 && !readFailed_;  // a reply without length ends at the close
            const std::size_t n = count < 0 ? end - at
                                            : static_cast<std::size_t>(std::min<long long>(
                                                  count, static_cast<long long>(end - at)));
            if (!body(data + at, n)) {
                r.stopped = true;
                return false;
            }
            at += n;
            if (count > 0)
                count -= static_cast<long long>(n);
        }
        return true;
    };
    // A line of the chunked framing (its size, or the trailer's), without its CRLF.
    auto line = [&](std::string& out) {
        out.clear();
        for (;;) {
            if (!fill())
                return false;
            const char ch = data[at++];
            if (ch == '\n') {
                if (!out.empty() && out.back() == '\r')
                    out.pop_back();
                return true;
            }
            if (out.size() > 1024)
                return false;
            out += ch;
        }
    };
    bool whole = false;
    if (reply.chunked) {
        std::string text;
        for (;;) {
            if (!line(text))
                break;
            std::size_t size = 0;
            const std::size_t digits = std::min(text.find(';'), text.size());
            if (digits == 0 || digits > 15 ||
                text.find_first_not_of("0123456789abcdefABCDEF") < digits)
                return lost("the server's chunked reply is malformed");
            size = std::stoull(text.substr(0, digits), nullptr, 16);
            if (size == 0) {
                while (line(text) && !text.empty()) {
                }
                whole = text.empty();
                break;
            }
            if (!pass(static_cast<long long>(size)) || !line(text))
                break;
        }
    } else if (reply.head.contentLength >= 0) {
        whole = pass(reply.head.contentLength);
    } else {
        reply.close = true;
        whole = pass(-1);
    }
    if (r.stopped) {
        Close();
        return r;
    }
    if (!whole)
        return lost("the connection was lost while reading");
    // Bytes beyond the reply, or a server that closes: the connection is not used again.
    if (reply.close || at != end)
        Close();
    r.complete = true;
    return r;
}

}  // namespace share
