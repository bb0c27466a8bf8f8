// libFuzzer entry over the request parsing that quillon-share does itself before its engine has
// a connection, and over the range of a file reply: any bytes as the first bytes of a
// connection, under the usual bounds and under tight ones. A head ends where it ends however it
// is read in pieces, a broken bound stays broken, a parsed head holds only what the rules let
// by, a body's length is the one Content-Length within the limit, and a range answered lies in
// the file and is answered the same when asked for again.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "HttpPieces.h"
#include "share/HttpMessage.h"
#include "share/HttpRange.h"

namespace {

void Require(bool ok) {
    if (!ok)
        std::abort();
}

bool OneOf(int status, std::initializer_list<int> allowed) {
    for (int s : allowed)
        if (s == status)
            return true;
    return false;
}

bool Blank(char c) {
    return c == ' ' || c == '\t';
}

void CheckRange(std::string_view header, unsigned long long size);

// Over files of a few sizes, and of the sizes the header names and one more, where a range's
// end meets the file's.
void CheckRanges(std::string_view header) {
    std::vector<unsigned long long> sizes = {0, 1, 106350, 1ULL << 62};
    for (std::size_t at = header.find_first_of("0123456789"); at != std::string_view::npos;) {
        const std::size_t end = std::min(header.find_first_not_of("0123456789", at), header.size());
        if (end - at <= 18) {
            sizes.push_back(std::stoull(std::string(header.substr(at, end - at))));
            sizes.push_back(sizes.back() + 1);
        }
        at = header.find_first_of("0123456789", end);
    }
    for (unsigned long long size : sizes)
        CheckRange(header, size);
}

void CheckRange(std::string_view header, unsigned long long size) {
    using share::RangeAnswer;
    const RangeAnswer a = share::AnswerRange(header, size);
    // A set of ranges is answered with the whole file, so no reply is larger than the file.
    if (header.find(',') != std::string_view::npos)
        Require(a.kind == RangeAnswer::kWhole);
    if (a.kind == RangeAnswer::kUnsatisfiable)
        Require(share::TrimBlanks(header).substr(0, 6) == "bytes=");
    if (a.kind != RangeAnswer::kPart)
        return;
    Require(a.first <= a.last && a.last < size);
    const auto same = [&](const std::string& asked, unsigned long long last) {
        const RangeAnswer b = share::AnswerRange(asked, size);
        Require(b.kind == RangeAnswer::kPart && b.first == a.first && b.last == last);
    };
    same("bytes=" + std::to_string(a.first) + "-" + std::to_string(a.last), a.last);
    // The resumed download's "from here on".
    same("bytes=" + std::to_string(a.first) + "-", size - 1);
    if (a.last == size - 1)
        same("bytes=-" + std::to_string(size - a.first), a.last);
}

void CheckHead(std::string_view bytes, const share::HeadLimits& limits) {
    std::string problem;
    const std::size_t end = share::HeadEnd(bytes, limits, &problem);
    if (!problem.empty()) {
        // More bytes never mend a broken bound: a reader may stop at the first sign.
        std::string more(bytes);
        more += "\r\n\r\n";
        std::string again;
        Require(end == 0 && share::HeadEnd(more, limits, &again) == 0 && !again.empty());
        return;
    }
    if (end == 0) {
        Require(bytes.size() <= limits.headBytes);
        return;
    }
    Require(end <= bytes.size() && end <= limits.headBytes && bytes[end - 1] == '\n');
    // Within every bound: lines, and lines that are not empty.
    std::size_t lines = 0;
    for (std::size_t at = 0; at < end;) {
        const std::size_t nl = bytes.find('\n', at);
        std::string_view line = bytes.substr(at, nl - at);
        Require(line.size() <= limits.lineBytes);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        lines += line.empty() ? 0 : 1;
        at = nl + 1;
    }
    Require(lines <= limits.headerLines + 1);
    // The head ends there whether it came whole or in pieces.
    Require(share::HeadEnd(bytes.substr(0, end), limits, &problem) == end && problem.empty());
    for (std::size_t cut : {end - 1, bytes.size() % end}) {
        Require(share::HeadEnd(bytes.substr(0, cut), limits, &problem) == 0);
        Require(problem.empty());
    }
    share::HttpRequest req;
    int status = 0;
    std::string why;
    if (!share::ParseHead(bytes.substr(0, end), limits, req, &status, &why)) {
        Require(OneOf(status, {400, 414, 431, 501, 505}) && !why.empty());
        return;
    }
    Require(!req.method.empty() &&
            req.method.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ") == std::string::npos);
    Require(req.version == "HTTP/1.1" || req.version == "HTTP/1.0");
    Require(req.target.front() == '/' && req.path.front() == '/');
    Require(req.path.find('\0') == std::string::npos);
    Require(req.headers.size() <= limits.headerLines);
    for (const auto& [name, value] : req.headers) {
        Require(!name.empty() &&
                name.find_first_of(" \t:\r\nABCDEFGHIJKLMNOPQRSTUVWXYZ") == std::string::npos);
        for (char c : value)
            Require((static_cast<unsigned char>(c) >= 0x20 || c == '\t') && c != 0x7f);
        Require(value.empty() || (!Blank(value.front()) && !Blank(value.back())));
    }
    constexpr std::size_t kMaxBody = 64 * 1024;
    std::size_t length = 1;
    if (share::BodyLength(req, kMaxBody, &length, &status, &why)) {
        Require(req.HeaderCount("transfer-encoding") == 0 && length <= kMaxBody);
        Require(req.HeaderCount("content-length") == 0
                    ? length == 0
                    : req.HeaderCount("content-length") == 1 &&
                          req.Header("content-length") == std::to_string(length));
        // A body of the limit's length is taken, one byte more is not.
        std::size_t again = 1;
        Require(share::BodyLength(req, length, &again, &status, &why) && again == length);
        if (length > 0)
            Require(!share::BodyLength(req, length - 1, &again, &status, &why) && status == 413);
    } else {
        Require(OneOf(status, {400, 411, 413}) && !why.empty());
        Require((status == 411) == (req.HeaderCount("transfer-encoding") > 0));
    }
    CheckRanges(req.Header("range"));
}

}  // namespace

// The random driver's seeds: heads of every route, well-formed and hostile, and ranges.
const std::vector<std::string>& FuzzSeeds() {
    static const std::vector<std::string> seeds = {
        "POST /v1/index HTTP/1.1\r\nContent-Length: 8\r\n\r\n20100523",
        "POST /v1/index HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n8\r\n20100523\r\n0\r\n\r\n",
        "POST /v1/size HTTP/1.1\r\nContent-Length: 6160\r\nContent-Length: 6160\r\n\r\n",
        "POST /v1/image?client=a%20b HTTP/1.1\r\nContent-Length: 99999999999999999999\r\n\r\n",
        "GET /v1/image/1 HTTP/1.1\r\nAuthorization: Bearer fz\r\n\r\n",
        "\r\n\r\nGET /v1/file?entry=2010_05_23=10,00~10,01&name=201005231000N.dat HTTP/1.1\r\n"
        "Range: bytes=10-\r\n\r\n",
        "GET /v1/file HTTP/1.1\r\nRange:  bytes = 0-0,0-0\t\r\n\r\n",
        "GET /v1/file HTTP/1.1\nRange: bytes=99999999999999999999-\n\n",
        "GET /v1/file HTTP/1.1\r\nRange: bytes=-3\r\nConnection: close\r\n\r\n",
        "GET /v1/file HTTP/1.1\r\nRange: bytes=0-99\r\n\r\n",
        "bytes=100-106349",
        "GET /v1/file HTTP/1.1\r\nRange: bytes=5-2\r\nX: \x01\r\n\r\n",
        "GET /pictures/list?day=20100523&minute=600&camera=0 HTTP/1.1\r\n\r\n",
        "GET /%2e%2e/%00?a=%zz HTTP/1.0\r\n X: folded\r\n\r\n",
        "get * HTTP/2.0\r\n\r\n",
    };
    return seeds;
}

const std::vector<std::string>& FuzzPieces() {
    static const std::vector<std::string> pieces = HttpPieces(
        {"\n", "\t", "18446744073709551615", "Transfer-Encoding: ", std::string(1, '\0')});
    return pieces;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    CheckHead(bytes, share::HeadLimits{});
    // Tight bounds, so that short inputs reach every one of them.
    CheckHead(bytes, share::HeadLimits{96, 40, 3});
    CheckRanges(bytes.substr(0, 64));
    return 0;
}
