#include "share/HttpMessage.h"

#include <algorithm>
#include <cctype>

namespace share {
namespace {

char Lower(char c) {
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

bool IsTokenChar(char c) {
    const unsigned char u = static_cast<unsigned char>(c);
    return std::isalnum(u) || std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    c = Lower(c);
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

// The lines of a head without their line ends; leading empty lines (left over from a previous
// message) are passed over.
std::vector<std::string_view> Lines(std::string_view head) {
    std::vector<std::string_view> lines;
    while (!head.empty()) {
        std::size_t end = head.find('\n');
        std::string_view line = head.substr(0, end);
        head.remove_prefix(end == std::string_view::npos ? head.size() : end + 1);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.empty() && lines.empty())
            continue;
        if (line.empty())
            break;
        lines.push_back(line);
    }
    return lines;
}

bool Fail(int code, const char* text, int* status, std::string* why) {
    if (status)
        *status = code;
    if (why)
        *why = text;
    return false;
}

bool ParseQuery(std::string_view query, HttpRequest& req) {
    while (!query.empty()) {
        const std::size_t amp = query.find('&');
        const std::string_view pair = query.substr(0, amp);
        query.remove_prefix(amp == std::string_view::npos ? query.size() : amp + 1);
        if (pair.empty())
            continue;
        const std::size_t eq = pair.find('=');
        std::string key, value;
        if (!PercentDecode(pair.substr(0, eq), key) ||
            (eq != std::string_view::npos && !PercentDecode(pair.substr(eq + 1), value)))
            return false;
        req.query.emplace_back(std::move(key), std::move(value));
    }
    return true;
}

}  // namespace

std::string HttpRequest::Header(std::string_view name) const {
    for (const auto& [k, v] : headers)
        if (k == name)
            return v;
    return std::string();
}

std::size_t HttpRequest::HeaderCount(std::string_view name) const {
    return static_cast<std::size_t>(std::count_if(headers.begin(), headers.end(),
                                                  [&](const auto& h) { return h.first == name; }));
}

std::string HttpRequest::Param(std::string_view name) const {
    for (const auto& [k, v] : query)
        if (k == name)
            return v;
    return std::string();
}

std::size_t HttpRequest::ParamCount(std::string_view name) const {
    return static_cast<std::size_t>(
        std::count_if(query.begin(), query.end(), [&](const auto& q) { return q.first == name; }));
}

std::size_t HeadEnd(std::string_view bytes, const HeadLimits& limits, std::string* problem) {
    std::size_t at = 0, lines = 0;
    bool started = false;
    while (at < bytes.size()) {
        const std::size_t nl = bytes.find('\n', at);
        const std::size_t length = (nl == std::string_view::npos ? bytes.size() : nl) - at;
        if (length > limits.lineBytes) {
            *problem = "a line of the request head is too long";
            return 0;
        }
        if (nl == std::string_view::npos)
            break;
        const bool empty = length == 0 || (length == 1 && bytes[at] == '\r');
        at = nl + 1;
        if (at > limits.headBytes) {
            *problem = "the request head is too large";
            return 0;
        }
        if (empty && started)
            return at;
        if (!empty) {
            started = true;
            if (++lines > limits.headerLines + 1) {
                *problem = "the request head has too many lines";
                return 0;
            }
        }
    }
    if (bytes.size() > limits.headBytes)
        *problem = "the request head is too large";
    return 0;
}

bool ParseHead(std::string_view head, const HeadLimits& limits, HttpRequest& req, int* status,
               std::string* why) {
    const std::vector<std::string_view> lines = Lines(head);
    if (lines.empty())
        return Fail(400, "no request line", status, why);
    if (lines.size() > limits.headerLines + 1)
        return Fail(431, "the request head has too many lines", status, why);
    const std::string_view line = lines.front();
    const std::size_t sp1 = line.find(' ');
    const std::size_t sp2 = sp1 == std::string_view::npos ? sp1 : line.find(' ', sp1 + 1);
    if (sp2 == std::string_view::npos || line.find(' ', sp2 + 1) != std::string_view::npos)
        return Fail(400, "the request line is not METHOD TARGET VERSION", status, why);
    req.method = std::string(line.substr(0, sp1));
    req.target = std::string(line.substr(sp1 + 1, sp2 - sp1 - 1));
    req.version = std::string(line.substr(sp2 + 1));
    if (req.method.empty() || !std::all_of(req.method.begin(), req.method.end(),
                                           [](char c) { return c >= 'A' && c <= 'Z'; }))
        return Fail(400, "the method is not a word in capitals", status, why);
    if (req.version != "HTTP/1.1" && req.version != "HTTP/1.0")
        return Fail(505, "only HTTP/1.1 is spoken here", status, why);
    if (req.target.empty() || req.target.front() != '/')
        return Fail(400, "the target is not a path", status, why);
    const std::size_t question = req.target.find('?');
    if (!PercentDecode(std::string_view(req.target).substr(0, question), req.path) ||
        req.path.find('\0') != std::string::npos ||
        (question != std::string::npos &&
         !ParseQuery(std::string_view(req.target).substr(question + 1), req)))
        return Fail(400, "the target has a broken escape", status, why);
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const std::string_view h = lines[i];
        const std::size_t colon = h.find(':');
        if (colon == 0 || colon == std::string_view::npos ||
            !std::all_of(h.begin(), h.begin() + static_cast<long>(colon), IsTokenChar))
            return Fail(400, "a header line is not NAME: VALUE", status, why);
        const std::string_view value = TrimBlanks(h.substr(colon + 1));
        if (std::any_of(value.begin(), value.end(), [](char c) {
                return (static_cast<unsigned char>(c) < 0x20 && c != '\t') || c == 0x7f;
            }))
            return Fail(400, "a header value holds a control character", status, why);
        std::string name(h.substr(0, colon));
        std::transform(name.begin(), name.end(), name.begin(), Lower);
        req.headers.emplace_back(std::move(name), std::string(value));
    }
    return true;
}

bool BodyLength(const HttpRequest& req, std::size_t maxBody, std::size_t* length, int* status,
                std::string* why) {
    *length = 0;
    if (req.HeaderCount("transfer-encoding") > 0)
        return Fail(411, "a body must come with its Content-Length", status, why);
    const std::size_t given = req.HeaderCount("content-length");
    if (given == 0)
        return true;
    const std::string value = req.Header("content-length");
    if (given > 1 || value.empty() || value.size() > 18 ||
        value.find_first_not_of("0123456789") != std::string::npos)
        return Fail(400, "the Content-Length is not one number", status, why);
    const unsigned long long n = std::stoull(value);
    if (n > maxBody)
        return Fail(413, "the body is larger than any request of this server", status, why);
    *length = static_cast<std::size_t>(n);
    return true;
}

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

bool PercentDecode(std::string_view text, std::string& out) {
    out.clear();
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '+') {
            out += ' ';
        } else if (text[i] == '%') {
            const int hi = i + 2 < text.size() ? HexValue(text[i + 1]) : -1;
            const int lo = hi >= 0 ? HexValue(text[i + 2]) : -1;
            if (lo < 0)
                return false;
            out += static_cast<char>(hi * 16 + lo);
            i += 2;
        } else {
            out += text[i];
        }
    }
    return true;
}

std::string QueryValue(const std::string& text) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char ch : text) {
        if (std::isalnum(ch) || ch == '-' || ch == '_' || ch == '.' || ch == '~') {
            out += static_cast<char>(ch);
        } else {
            out += '%';
            out += hex[ch >> 4];
            out += hex[ch & 15];
        }
    }
    return out;
}

const char* ReasonPhrase(int status) {
    switch (status) {
        case 200:
            return "OK";
        case 206:
            return "Partial Content";
        case 400:
            return "Bad Request";
        case 401:
            return "Unauthorized";
        case 404:
            return "Not Found";
        case 405:
            return "Method Not Allowed";
        case 408:
            return "Request Timeout";
        case 409:
            return "Conflict";
        case 411:
            return "Length Required";
        case 413:
            return "Content Too Large";
        case 414:
            return "URI Too Long";
        case 416:
            return "Range Not Satisfiable";
        case 422:
            return "Unprocessable Content";
        case 431:
            return "Request Header Fields Too Large";
        case 500:
            return "Internal Server Error";
        case 501:
            return "Not Implemented";
        case 503:
            return "Service Unavailable";
        case 505:
            return "HTTP Version Not Supported";
        default:
            return "Unknown";
    }
}

std::string ReplyHead(int status, const std::vector<std::pair<std::string, std::string>>& headers,
                      unsigned long long contentLength, bool keepAlive) {
    std::string head = "HTTP/1.1 " + std::to_string(status) + " " + ReasonPhrase(status) + "\r\n";
    for (const auto& [name, value] : headers)
        head += name + ": " + value + "\r\n";
    head += "Content-Length: " + std::to_string(contentLength) + "\r\n";
    head += keepAlive ? "Connection: keep-alive\r\n\r\n" : "Connection: close\r\n\r\n";
    return head;
}

}  // namespace share
