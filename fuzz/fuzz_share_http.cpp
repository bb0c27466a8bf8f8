// libFuzzer entry over the request paths of both ports of quillon-share: any bytes, as one
// connection would send them (heads and bodies, several requests in a row), answered by the
// share server without and with a token and by the picture server, as they answer a socket.
// Every reply must be framed as its head says, a server with a token answers nothing but 401
// to a request without it, and no reply is larger than the file it serves.
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "mkrec/Recorder.h"
#include "share/PictureServer.h"
#include "share/ShareServer.h"

namespace {

void Require(bool ok) {
    if (!ok)
        std::abort();
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
        open = std::make_unique<share::ShareServer>(settings, share::ShareServer::Options{});
        share::ShareServer::Options withToken;
        withToken.token = "fz";
        guarded = std::make_unique<share::ShareServer>(settings, withToken);
        pictures = std::make_unique<share::PictureServer>("C:\\QorData");
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
    std::unique_ptr<share::ShareServer> open, guarded;
    std::unique_ptr<share::PictureServer> pictures;
};

Site& TheSite() {
    static Site site;
    return site;
}

// Walks the replies: each a status line, a head with one Content-Length, and that many bytes.
// The statuses seen.
std::vector<int> Replies(std::string_view bytes, long long largestBody) {
    std::vector<int> statuses;
    while (!bytes.empty()) {
        Require(bytes.substr(0, 9) == "HTTP/1.1 ");
        const std::size_t end = bytes.find("\r\n\r\n");
        Require(end != std::string_view::npos);
        const std::string_view head = bytes.substr(0, end + 2);
        statuses.push_back(std::atoi(std::string(head.substr(9, 3)).c_str()));
        const std::size_t at = head.find("\r\nContent-Length: ");
        Require(at != std::string_view::npos);
        const long long length = std::atoll(std::string(head.substr(at + 18)).c_str());
        Require(length >= 0 && length <= largestBody);
        Require(bytes.size() - end - 4 >= static_cast<std::size_t>(length));
        bytes.remove_prefix(end + 4 + static_cast<std::size_t>(length));
    }
    return statuses;
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
        };
        return s;
    }();
    return seeds;
}

const std::vector<std::string>& FuzzPieces() {
    static const std::vector<std::string> pieces = {"\r\n",
                                                    "\r\n\r\n",
                                                    " ",
                                                    ":",
                                                    "?",
                                                    "&",
                                                    "=",
                                                    "%",
                                                    "bytes=",
                                                    ",",
                                                    "-",
                                                    "99999999",
                                                    "HTTP/1.1",
                                                    "Content-Length: ",
                                                    "Range: ",
                                                    "GET ",
                                                    "POST ",
                                                    "/v1/",
                                                    "Connection: close\r\n",
                                                    "Bearer fz"};
    return pieces;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Site& site = TheSite();
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    // No reply is larger than the largest text a route gives or the file served.
    const long long largest = std::max<long long>(site.file.size, 1 << 20);
    Replies(site.open->Exchange(bytes), largest);
    Replies(site.pictures->Exchange(bytes), largest);
    const std::vector<int> guarded = Replies(site.guarded->Exchange(bytes), largest);
    if (bytes.find("Bearer fz") == std::string_view::npos)
        for (int status : guarded)
            Require(status == 401 || status == 400 || status == 431 || status == 505);
    return 0;
}
