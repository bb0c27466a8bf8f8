#include "share/HttpExchange.h"

#include <algorithm>
#include <cstring>

#include "share/HttpRange.h"

namespace share {
namespace {

using Clock = std::chrono::steady_clock;
using Headers = std::vector<std::pair<std::string, std::string>>;

bool ReadBody(const HttpSite& site, std::size_t length, HttpRequest& req, std::string& pending,
              HttpStream& io) {
    const std::size_t ready = std::min(length, pending.size());
    req.body.assign(pending, 0, ready);
    pending.erase(0, ready);
    const auto deadline = Clock::now() + site.bodyTime;
    char buffer[16 * 1024];
    while (req.body.size() < length) {
        const std::size_t n =
            io.Read(buffer, std::min(sizeof buffer, length - req.body.size()), deadline);
        if (n == 0)
            return false;
        req.body.append(buffer, n);
    }
    return true;
}

bool SendText(const HttpResponse& res, bool keepAlive, HttpStream& io) {
    Headers headers = res.headers;
    headers.emplace_back("Content-Type", res.contentType);
    return io.Write(ReplyHead(res.status, headers, res.body.size(), keepAlive) + res.body);
}

// A file reply: the whole file, the range asked for, or 416 when the range lies beyond it.
// sent counts the body's bytes that went out.
bool SendFile(const HttpRequest& req, HttpResponse& res, bool keepAlive, HttpStream& io,
              unsigned long long& sent) {
    const auto size = static_cast<unsigned long long>(res.fileLength);
    RangeAnswer range;
    if (req.method == "GET" && res.status == 200)
        range = AnswerRange(req.Header("range"), size);
    Headers headers = res.headers;
    headers.emplace_back("Accept-Ranges", "bytes");
    if (range.kind == RangeAnswer::kUnsatisfiable) {
        res.status = 416;
        headers.emplace_back("Content-Range", "bytes */" + std::to_string(size));
        return io.Write(ReplyHead(416, headers, 0, keepAlive));
    }
    unsigned long long first = 0, end = size;
    if (range.kind == RangeAnswer::kPart) {
        res.status = 206;
        first = range.first;
        end = range.last + 1;
        headers.emplace_back("Content-Range", "bytes " + std::to_string(range.first) + "-" +
                                                  std::to_string(range.last) + "/" +
                                                  std::to_string(size));
    }
    headers.emplace_back("Content-Type", res.contentType);
    if (!io.Write(ReplyHead(res.status, headers, end - first, keepAlive)))
        return false;
    if (res.file && io.SendsFiles()) {
        constexpr unsigned long long kPiece = 1 << 20;
        for (unsigned long long at = first; at < end;) {
            const auto n = static_cast<std::size_t>(std::min(kPiece, end - at));
            if (res.sending)
                res.sending();
            // A file that shrank or failed ends the reply short, and the connection with it.
            if (!io.SendFile(*res.file, at, n))
                return false;
            at += n;
            sent += n;
        }
        return true;
    }
    std::vector<char> buffer(64 * 1024);
    for (unsigned long long at = first; at < end;) {
        const std::size_t want =
            static_cast<std::size_t>(std::min<unsigned long long>(buffer.size(), end - at));
        const long long got = res.readFile(buffer.data(), want, at);
        // A file that shrank or failed ends the reply short, and the connection with it.
        if (got <= 0 || !io.Write(std::string_view(buffer.data(), static_cast<std::size_t>(got))))
            return false;
        at += static_cast<unsigned long long>(got);
        sent += static_cast<unsigned long long>(got);
    }
    return true;
}

// The replies of AnswerAll, gathered; bytes come only from what was given.
class MemoryStream : public HttpStream {
  public:
    explicit MemoryStream(std::string& out) : out_(out) {}
    std::size_t Read(char*, std::size_t, Clock::time_point) override { return 0; }
    bool Write(std::string_view bytes) override {
        out_.append(bytes);
        return true;
    }

  private:
    std::string& out_;
};

}  // namespace

bool AdmitRequest(const HttpSite& site, const HttpRequest& req, HttpResponse& refusal,
                  std::size_t* bodyLength) {
    if (site.gate && !site.gate(req, refusal))
        return false;
    std::string why;
    if (BodyLength(req, site.maxBody, bodyLength, &refusal.status, &why))
        return true;
    refusal.Text(refusal.status, why);
    return false;
}

bool SendRefusal(const HttpSite& site, const HttpRequest& req, const HttpResponse& refusal,
                 HttpStream& io) {
    const bool sent = SendText(refusal, false, io);
    if (site.log)
        site.log({req.remote, &req, refusal.status, sent ? refusal.body.size() : 0, sent,
                  refusal.body.substr(0, refusal.body.find('\n'))});
    return false;
}

bool AnswerAdmitted(const HttpSite& site, HttpRequest& req, HttpStream& io) {
    HttpResponse res;
    site.handle(req, res);
    const bool keepAlive = req.KeepAlive();
    unsigned long long bytes = 0;
    bool sent = false;
    const bool file = res.readFile && res.fileLength >= 0;
    if (file) {
        sent = SendFile(req, res, keepAlive, io, bytes);
    } else {
        sent = SendText(res, keepAlive, io);
        bytes = sent ? res.body.size() : 0;
    }
    if (site.log) {
        // A refusal's own words say why; a file's bytes are no words.
        const bool text = res.status >= 400 && !file;
        site.log({req.remote, &req, res.status, bytes, sent,
                  text ? res.body.substr(0, res.body.find('\n')) : std::string()});
    }
    return sent && keepAlive;
}

bool AnswerRequest(const HttpSite& site, HttpRequest& req, std::string& pending, HttpStream& io) {
    // A refused request keeps its body unread, so the connection cannot carry another.
    HttpResponse refusal;
    std::size_t length = 0;
    if (!AdmitRequest(site, req, refusal, &length))
        return SendRefusal(site, req, refusal, io);
    if (!ReadBody(site, length, req, pending, io)) {
        if (site.log)
            site.log({req.remote, &req, 0, 0, false, "its body did not arrive"});
        return false;
    }
    return AnswerAdmitted(site, req, io);
}

std::string HeadRefusal(int status, const std::string& why, const Headers& headers) {
    const std::string body = why + "\n";
    Headers all = headers;
    all.emplace_back("Content-Type", "text/plain; charset=utf-8");
    return ReplyHead(status, all, body.size(), false) + body;
}

std::string AnswerAll(const HttpSite& site, std::string_view bytes, const std::string& remote) {
    std::string replies;
    MemoryStream io(replies);
    std::string pending(bytes);
    for (;;) {
        std::string problem;
        const std::size_t end = HeadEnd(pending, site.limits, &problem);
        if (!problem.empty()) {
            replies += HeadRefusal(431, problem);
            return replies;
        }
        if (end == 0)
            return replies;
        HttpRequest req;
        req.remote = remote;
        int status = 0;
        if (!ParseHead(std::string_view(pending).substr(0, end), site.limits, req, &status,
                       &problem)) {
            replies += HeadRefusal(status, problem);
            return replies;
        }
        pending.erase(0, end);
        if (!AnswerRequest(site, req, pending, io))
            return replies;
    }
}

}  // namespace share
