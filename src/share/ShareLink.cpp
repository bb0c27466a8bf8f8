#include "share/ShareLink.h"

#include <httplib.h>


#include "share/FileFetch.h"
#include "share/ShareProtocol.h"

namespace share {
namespace {

std::string ErrorText(httplib::Error e) {
    switch (e) {
        case httplib::Error::Connection:
            return "the server cannot be reached";
        case httplib::Error::Read:
            return "the connection was lost while reading";
        case httplib::Error::Write:
            return "the connection was lost while sending";
        case httplib::Error::ConnectionTimeout:
            return "the server did not answer in time";
        default:
            return httplib::to_string(e);
    }
}

}  // namespace

ShareLink::ShareLink(std::string host, int port, std::string token, TlsTrust tls)
    : host_(std::move(host)), port_(port), token_(std::move(token)), tls_(std::move(tls)) {}

ShareLink::~ShareLink() = default;

httplib::ClientImpl* ShareLink::client(std::string* linkError) {
    if (!client_) {
        std::unique_ptr<httplib::ClientImpl> made;
        if (tls_.on) {
            check_ = std::make_unique<TlsCheck>(tls_, host_, port_);
            auto tls = std::make_unique<httplib::SSLClient>(host_, port_);
            // The check is the whole verification: the library's own would stop at an
            // untrusted chain that a pin accepts.
            tls->enable_server_certificate_verification(false);
            if (!tls->is_valid() || !check_->Prepare(tls->ssl_context(), linkError)) {
                if (linkError->empty())
                    *linkError = "TLS cannot be set up";
                return nullptr;
            }
            made = std::move(tls);
        } else {
            made = std::make_unique<httplib::ClientImpl>(host_, port_);
        }
        made->set_connection_timeout(5);
        // An index or a size is computed before the reply starts; a day of many minutes takes
        // a while on a slow recorder.
        made->set_read_timeout(60);
        made->set_write_timeout(30);
        if (!token_.empty())
            made->set_bearer_token_auth(token_);
        client_ = std::move(made);
    }
    if (check_)
        check_->Reset();
    return client_.get();
}

std::string ShareLink::LinkError(httplib::Error e) const {
    // A refused certificate, or plain HTTP where TLS was asked for, says what was seen.
    if (check_ && e == httplib::Error::SSLConnection)
        return check_->HandshakeFailure();
    return ErrorText(e) + " (" + where() + ")";
}

std::string ShareLink::Reply::Problem(const std::string& what) const {
    if (!linkError.empty())
        return what + " failed: " + linkError;
    std::string said = body.substr(0, 200);
    while (!said.empty() && (said.back() == '\n' || said.back() == '\r'))
        said.pop_back();
    for (char& ch : said)
        if (static_cast<unsigned char>(ch) < 0x20)
            ch = ' ';
    if (status == 401)
        return what + " was refused: the server wants another token";
    if (status == 503)
        return what + " was " + TurnedAway(said, retryAfter);
    return what + " was refused by the server (HTTP " + std::to_string(status) +
           (said.empty() ? ")" : "): " + said);
}

ShareLink::Reply ShareLink::Post(const std::string& path, const std::string& body,
                                 std::size_t limit) {
    Reply reply;
    // Posted bodies are small; the reply is read through a receiver so that its size is bounded.
    httplib::Request req;
    req.method = "POST";
    req.path = path;
    req.body = body;
    req.set_header("Content-Type", kBinaryType);
    bool tooLong = false;
    req.content_receiver = [&](const char* data, std::size_t n, std::uint64_t, std::uint64_t) {
        if (reply.body.size() + n > limit) {
            tooLong = true;
            return false;
        }
        reply.body.append(data, n);
        return true;
    };
    httplib::ClientImpl* http = client(&reply.linkError);
    if (!http)
        return reply;
    auto res = http->send(req);
    if (tooLong) {
        reply.linkError = "the server's reply is longer than " + std::to_string(limit) + " bytes";
    } else if (!res) {
        reply.linkError = LinkError(res.error());
    } else {
        reply.status = res->status;
        reply.retryAfter = res->get_header_value("Retry-After");
    }
    return reply;
}

ShareLink::Reply ShareLink::Get(const std::string& path, std::size_t limit) {
    Reply reply;
    bool tooLong = false;
    httplib::ClientImpl* http = client(&reply.linkError);
    if (!http)
        return reply;
    auto res = http->Get(path, [&](const char* data, std::size_t n) {
        if (reply.body.size() + n > limit) {
            tooLong = true;
            return false;
        }
        reply.body.append(data, n);
        return true;
    });
    if (tooLong) {
        reply.linkError = "the server's reply is longer than " + std::to_string(limit) + " bytes";
    } else if (!res) {
        reply.linkError = LinkError(res.error());
    } else {
        reply.status = res->status;
        reply.retryAfter = res->get_header_value("Retry-After");
    }
    return reply;
}

ShareLink::FetchResult ShareLink::Fetch(const std::string& path, long long from,
                                        const std::function<bool(const Head&)>& head,
                                        const std::function<bool(const char*, std::size_t)>& body) {
    if (!files_)
        files_ = std::make_unique<FileFetch>(host_, port_, token_, tls_);
    const FileFetch::Result r = files_->Get(
        path, from,
        [&](const FileFetch::Head& h) {
            return head(Head{h.status, h.contentLength, h.rangeStart});
        },
        body);
    FetchResult result;
    result.complete = r.complete;
    result.stopped = r.stopped;
    result.linkError = r.linkError;
    return result;
}

std::string TurnedAway(std::string said, const std::string& retryAfter) {
    // The server's "; try again later" is said here with its own figure.
    constexpr std::string_view kLater = "; try again later";
    if (said.size() >= kLater.size() &&
        said.compare(said.size() - kLater.size(), kLater.size(), kLater) == 0)
        said.resize(said.size() - kLater.size());
    const bool seconds = !retryAfter.empty() && retryAfter.size() <= 6 &&
                         retryAfter.find_first_not_of("0123456789") == std::string::npos;
    return "turned away by the server" + (said.empty() ? std::string() : ": " + said) +
           (seconds ? "; it asks to be tried again in " + retryAfter + " s"
                    : std::string("; it asks to be tried again later"));
}

}  // namespace share
