// libFuzzer entry over both ports of quillon-share as they run: any bytes, sent over a socket as
// one connection would send them (heads and bodies, several requests in a row) and then
// half-closed, to the share server without and with a token and to the picture server, each
// served by its engine. Every server lets the connection go in time, every reply is framed as
// its head says and no larger than the file it serves, a server with a token refuses a request
// without it and answers nothing else, and each server answers a well-formed request afterwards.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "HttpPieces.h"
#include "mkrec/Recorder.h"
#include "share/PictureServer.h"
#include "share/ShareServer.h"

namespace {

std::string_view input;  // under test, told with a failed check so that it can be replayed

[[noreturn]] void Fail(int line) {
    std::fprintf(stderr, "check at line %d failed on the input:\n", line);
    for (unsigned char c : input)
        std::fprintf(stderr, c >= 0x20 && c < 0x7f && c != '\\' ? "%c" : "\\x%02x", c);
    std::fprintf(stderr, "\n");
    std::abort();
}

#define Require(ok) ((ok) ? void() : Fail(__LINE__))

share::MhdServer::Limits FastLimits() {
    share::MhdServer::Limits limits;
    limits.workers = 2;
    limits.keptForQuick = 1;
    // An input that never ends its head is let go soon.
    limits.headTime = std::chrono::milliseconds(300);
    return limits;
}

// A recorder of a few minutes under a prefix of its own, its servers, and one built image so
// that the file route has something to serve in ranges.
struct Site {
    Site() {
        char folder[] = "/tmp/quillon-fuzz-XXXXXX";
        Require(::mkdtemp(folder) != nullptr);
        prefix = folder;
        ::setenv("QUILLON_PREFIX", folder, 1);
        mkrec::RecorderPlan plan;
        plan.root = "C:\\QorData";
        plan.days = {"20100523"};
        plan.firstMinute = 600;
        plan.lastMinute = 601;
        plan.cameras = 2;
        plan.fps = 2;
        plan.width = plan.height = 16;
        mkrec::MakeRecordings(plan);
        ShareService::Settings settings;
        settings.storageRoot = "C:\\QorData";
        settings.cameras = 2;
        share::ShareServer::Options options;
        options.limits = FastLimits();
        open = std::make_unique<share::ShareServer>(settings, options);
        options.token = "fz";
        guarded = std::make_unique<share::ShareServer>(settings, options);
        pictures = std::make_unique<share::PictureServer>("C:\\QorData", FastLimits());
        Require(open->Start("127.0.0.1", 0) && guarded->Start("127.0.0.1", 0));
        Require(pictures->Start("127.0.0.1", 0, ""));
        _BACKUPMAKEIMAGE request{};
        request.nSlot = 1;
        request.entry.bUsed = 1;
        request.entry.bAllCam = 1;
        SetKeys(request.entry, "201005231000", "201005231001");
        std::atomic<bool> cancel{false};
        const ShareService::Image image = open->service().MakeImage(request, nullptr, cancel);
        Require(image.problem.empty() && !image.files.empty());
        entry = image.entry;
        file = image.files.front();
        for (const auto& f : image.files)
            sizes.insert(static_cast<unsigned long long>(f.size));
    }
    ~Site() {
        open.reset();
        guarded.reset();
        pictures.reset();
        std::error_code ec;
        std::filesystem::remove_all(prefix, ec);
    }
    std::string prefix, entry;
    ShareService::ImageFile file;
    std::set<unsigned long long> sizes;  // of the image's files
    std::unique_ptr<share::ShareServer> open, guarded;
    std::unique_ptr<share::PictureServer> pictures;
};

Site& TheSite() {
    static Site site;
    return site;
}

// Sends bytes on a fresh connection to port, half-closes it and reads until the server closes.
// A server that has not let the connection go after this long holds it for good.
std::string Talk(int port, std::string_view bytes) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    Require(fd >= 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<std::uint16_t>(port));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    Require(::connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0);
    Require(::fcntl(fd, F_SETFL, O_NONBLOCK) == 0);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    std::string got;
    std::size_t sent = 0;
    bool sending = true;
    for (;;) {
        if (sending && sent == bytes.size()) {
            // The engine misses an end that comes with a request's last bytes until its idle
            // timeout (a second at least); one that comes once the reply has begun, or after a
            // moment without one, it sees at once.
            pollfd first{fd, POLLIN, 0};
            (void)::poll(&first, 1, 30);
            ::shutdown(fd, SHUT_WR);
            sending = false;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        Require(left.count() > 0);
        pollfd p{fd, static_cast<short>(POLLIN | (sending ? POLLOUT : 0)), 0};
        Require(::poll(&p, 1, static_cast<int>(left.count()) + 1) >= 0);
        if (sending && (p.revents & (POLLOUT | POLLERR | POLLHUP))) {
            const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (n > 0)
                sent += static_cast<std::size_t>(n);
            else if (errno != EAGAIN)
                sending = false;  // the server closed first: what it said is still read
        }
        if (p.revents & (POLLIN | POLLERR | POLLHUP)) {
            char buffer[16384];
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n > 0)
                got.append(buffer, static_cast<std::size_t>(n));
            else if (n == 0 || errno != EAGAIN)
                break;
        }
    }
    ::close(fd);
    return got;
}

std::string HeaderValue(std::string_view head, std::string_view name) {
    std::string lower(head);
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const std::size_t at = lower.find("\r\n" + std::string(name) + ":");
    if (at == std::string::npos)
        return {};
    const std::size_t from = at + 3 + name.size();
    return std::string(share::TrimBlanks(head.substr(from, head.find("\r\n", from) - from)));
}

// Walks the replies: each a status line, a head, and a body of its Content-Length or in chunks
// (none after 1xx, 204 and 304, nor after the head of a HEAD request when bodiless is set),
// a part of a file with its range.
// The statuses seen.
std::vector<int> Replies(std::string_view bytes, bool bodiless) {
    // No body is larger than the largest text a route gives or the file served.
    const std::set<unsigned long long>& sizes = TheSite().sizes;
    const auto largestBody = std::max<unsigned long long>(*sizes.rbegin(), 1 << 20);
    std::vector<int> statuses;
    while (!bytes.empty()) {
        Require(bytes.substr(0, 9) == "HTTP/1.1 " || bytes.substr(0, 9) == "HTTP/1.0 ");
        const std::size_t end = bytes.find("\r\n\r\n");
        Require(end != std::string_view::npos && end > 12);
        const std::string_view head = bytes.substr(0, end + 2);
        const int status = std::atoi(std::string(head.substr(9, 3)).c_str());
        Require(status >= 100 && status <= 599);
        statuses.push_back(status);
        bytes.remove_prefix(end + 4);
        // libmicrohttpd 0.9.75 repeats the head of its own refusal of a Content-Length it
        // cannot read (a 400 or 413 no route sees), where the server could not look first:
        // the repeat is passed over, and what follows must still be framed.
        if ((status == 400 || status == 413) &&
            bytes.substr(0, end + 4) == std::string(head) + "\r\n")
            bytes.remove_prefix(end + 4);
        if (status < 200 || status == 204 || status == 304)
            continue;
        const std::string length = HeaderValue(head, "content-length");
        if (bodiless && (bytes.empty() || bytes.substr(0, 7) == "HTTP/1."))
            continue;
        if (HeaderValue(head, "transfer-encoding") == "chunked") {
            Require(length.empty());
            unsigned long long total = 0;
            for (;;) {
                const std::size_t line = bytes.find("\r\n");
                Require(line != std::string_view::npos);
                char* stop = nullptr;
                const std::string size(bytes.substr(0, line));
                const unsigned long long n = std::strtoull(size.c_str(), &stop, 16);
                Require(!size.empty() && (*stop == '\0' || *stop == ';'));
                total += n;
                Require(total <= largestBody && bytes.size() >= line + 2 + n + 2);
                Require(bytes.substr(line + 2 + n, 2) == "\r\n");
                bytes.remove_prefix(line + 2 + n + 2);
                if (n == 0)
                    break;
            }
            continue;
        }
        Require(!length.empty() && length.find_first_not_of("0123456789") == std::string::npos);
        const unsigned long long n = std::stoull(length);
        Require(n <= largestBody && bytes.size() >= n);
        bytes.remove_prefix(n);
        // A part of the file is the part its head names, and lies in the file.
        const std::string range = HeaderValue(head, "content-range");
        if (status == 206) {
            unsigned long long first = 0, last = 0, size = 0;
            Require(std::sscanf(range.c_str(), "bytes %llu-%llu/%llu", &first, &last, &size) == 3);
            Require(sizes.count(size) && first <= last && last < size && n == last - first + 1);
        } else if (!range.empty()) {
            Require(status == 416 && n == 0 && range.substr(0, 8) == "bytes */");
            Require(sizes.count(std::stoull(range.substr(8))));
        }
    }
    return statuses;
}

// Each server still answers a well-formed request on a fresh connection.
void RequireAlive(int port) {
    const std::string reply = Talk(
        port,
        "GET /pictures/days HTTP/1.1\r\nAuthorization: Bearer fz\r\nConnection: close\r\n\r\n");
    const std::vector<int> statuses = Replies(reply, false);
    Require(statuses.size() == 1 && statuses[0] == 200);
}

}  // namespace

// The random driver's seeds: requests of every route, well-formed and hostile.
const std::vector<std::string>& FuzzSeeds() {
    static const std::vector<std::string> seeds = [] {
        const Site& site = TheSite();
        const std::string file = "GET /v1/file?entry=" + site.entry + "&name=" + site.file.name;
        std::vector<std::string> s = {
            "POST /v1/index HTTP/1.1\r\nContent-Length: 8\r\n\r\n20100523",
            "POST /v1/index HTTP/1.1\r\nTransfer-Encoding: "
            "chunked\r\n\r\n8\r\n20100523\r\n0\r\n\r\n",
            "POST /v1/size HTTP/1.1\r\nContent-Length: 6160\r\n\r\n" + std::string(6160, '\0'),
            "POST /v1/image HTTP/1.1\r\nContent-Length: 500\r\n\r\n" + std::string(500, '\0'),
            "GET /v1/image/1 HTTP/1.1\r\nAuthorization: Bearer fz\r\n\r\n",
            "POST /v1/image/18446744073709551615/cancel HTTP/1.1\r\n\r\n",
            "POST /v1/delete HTTP/1.1\r\nContent-Length: 18\r\n\r\nC:\\NetBackupTemp\\..",
            file + " HTTP/1.1\r\nRange: bytes=10-\r\n\r\n" + file + " HTTP/1.1\r\n\r\n",
            file + " HTTP/1.1\r\nRange: bytes=0-0,0-0,0-0,0-0\r\n\r\n",
            file + " HTTP/1.1\r\nRange: bytes=99999999-\r\n\r\n",
            file + " HTTP/1.1\r\nRange: bytes=-3\r\nConnection: close\r\n\r\n",
            "GET /pictures/days HTTP/1.1\r\n\r\nGET /pictures/minutes?day=20100523 "
            "HTTP/1.1\r\n\r\n",
            "GET /pictures/list?day=20100523&minute=600&camera=0 HTTP/1.1\r\n\r\n",
            "GET /pictures/picture?day=20100523&minute=600&pos=0&size=10 HTTP/1.1\r\n\r\n",
            "GET /%2e%2e/%00?a=%zz HTTP/1.0\r\n X: folded\r\n\r\n",
            // What the engine itself answers: HEAD, 100 Continue, a head that never ends.
            "HEAD /pictures/days HTTP/1.1\r\n\r\nGET /v1/image/1 HTTP/1.1\r\n\r\n",
            "POST /v1/index HTTP/1.1\r\nExpect: 100-continue\r\nContent-Length: 8\r\n\r\n20100523",
            "GET /pictures/days HTTP/1.1\r\nX: y\r\n",
        };
        return s;
    }();
    return seeds;
}

const std::vector<std::string>& FuzzPieces() {
    static const std::vector<std::string> pieces =
        HttpPieces({"/v1/", "Connection: close\r\n", "Bearer fz"});
    return pieces;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Site& site = TheSite();
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    input = bytes;
    const bool bodiless = bytes.find("HEAD") != std::string_view::npos;
    for (int port : {site.open->port(), site.pictures->Port()})
        for (int status : Replies(Talk(port, bytes), bodiless))
            Require(status != 500 && status != 503);  // no route throws, nobody is turned away
    const std::vector<int> guarded = Replies(Talk(site.guarded->port(), bytes), bodiless);
    // Without the token: 401, or the refusal of a head or Content-Length that breaks the rules
    // (ours for the first head and the engine's for those after it, 413 for a length too large).
    if (bytes.find("Bearer fz") == std::string_view::npos)
        for (int status : guarded)
            Require(status == 401 || status == 400 || status == 413 || status == 414 ||
                    status == 431 || status == 505);
    for (int port : {site.open->port(), site.pictures->Port(), site.guarded->port()})
        RequireAlive(port);
    return 0;
}
