#include "share/HttpExchange.h"

namespace share {

using Headers = std::vector<std::pair<std::string, std::string>>;

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

std::string HeadRefusal(int status, const std::string& why, const Headers& headers) {
    const std::string body = why + "\n";
    Headers all = headers;
    all.emplace_back("Content-Type", "text/plain; charset=utf-8");
    return ReplyHead(status, all, body.size(), false) + body;
}

}  // namespace share
