#include "share/PictureServer.h"

#include <httplib.h>

#include <atomic>
#include <chrono>

#include "playback/LocalPictureSource.h"
#include "share/PictureWire.h"

namespace share {
namespace {

// Equal-time comparison, so that the time of a refusal tells nothing of how much of a guessed
// token was right.
bool SameSecret(const std::string& given, const std::string& expected) {
    unsigned char diff = given.size() == expected.size() ? 0 : 1;
    for (std::size_t i = 0; i < expected.size(); ++i)
        diff |= static_cast<unsigned char>(expected[i] ^ (i < given.size() ? given[i] : 0));
    return diff == 0;
}

void BadRequest(httplib::Response& res, const std::string& why) {
    res.status = 400;
    res.set_content(why + "\n", "text/plain");
}

// The value of a query parameter that must be given once.
bool Param(const httplib::Request& req, const char* name, std::string& value) {
    if (req.get_param_value_count(name) != 1)
        return false;
    value = req.get_param_value(name);
    return true;
}

bool NumberParam(const httplib::Request& req, const char* name, long long low, long long high,
                 long long& value) {
    std::string text;
    return Param(req, name, text) && ParseNumber(text, low, high, value);
}

bool DayParam(const httplib::Request& req, std::string& day) {
    return Param(req, "day", day) && IsDay(day);
}

}  // namespace

PictureServer::PictureServer(std::string storageRoot) : root_(std::move(storageRoot)) {}

PictureServer::~PictureServer() {
    Stop();
}

std::unique_ptr<playback::LocalPictureSource> PictureServer::TakeSource() {
    std::lock_guard<std::mutex> lock(idleMutex_);
    if (idle_.empty())
        return std::make_unique<playback::LocalPictureSource>(root_);
    auto source = std::move(idle_.back());
    idle_.pop_back();
    return source;
}

void PictureServer::GiveBack(std::unique_ptr<playback::LocalPictureSource> source) {
    std::lock_guard<std::mutex> lock(idleMutex_);
    idle_.push_back(std::move(source));
}

bool PictureServer::Start(const std::string& address, int port, const std::string& token) {
    Stop();
    token_ = token;
    server_ = std::make_unique<httplib::Server>();
    auto& svr = *server_;
    // A caller that stalls must not hold a thread for long. A playing client asks picture after
    // picture on one connection; an idle one is let go soon, as Stop waits for it.
    svr.set_read_timeout(5, 0);
    svr.set_write_timeout(5, 0);
    svr.set_keep_alive_max_count(100000);
    svr.set_keep_alive_timeout(2);
    svr.set_payload_max_length(4096);
    // Headers and body go out in two writes; without this each picture waits for a delayed ACK.
    svr.set_tcp_nodelay(true);

    svr.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
        if (token_.empty())
            return httplib::Server::HandlerResponse::Unhandled;
        const std::string header = req.get_header_value("Authorization");
        const std::string scheme = "Bearer ";
        if (header.rfind(scheme, 0) == 0 && SameSecret(header.substr(scheme.size()), token_))
            return httplib::Server::HandlerResponse::Unhandled;
        res.status = 401;
        res.set_header("WWW-Authenticate", "Bearer");
        res.set_content("a valid token is required\n", "text/plain");
        return httplib::Server::HandlerResponse::Handled;
    });

    svr.Get(kDaysPath, [this](const httplib::Request&, httplib::Response& res) {
        auto source = TakeSource();
        res.set_content(FormatDays(source->Days()), "text/plain");
        GiveBack(std::move(source));
    });

    svr.Get(kMinutesPath, [this](const httplib::Request& req, httplib::Response& res) {
        std::string day;
        if (!DayParam(req, day))
            return BadRequest(res, "day must be YYYYMMDD");
        auto source = TakeSource();
        res.set_content(FormatMinutes(source->Minutes(day)), "text/plain");
        GiveBack(std::move(source));
    });

    svr.Get(kPicturesPath, [this](const httplib::Request& req, httplib::Response& res) {
        std::string day;
        long long minute = 0, camera = 0;
        if (!DayParam(req, day) || !NumberParam(req, "minute", 0, kMinutesPerDay - 1, minute) ||
            !NumberParam(req, "camera", 0, kCameras - 1, camera))
            return BadRequest(res, "day must be YYYYMMDD, minute 0 to 1439, camera 0 to 63");
        auto source = TakeSource();
        const auto pictures =
            source->Pictures(day, static_cast<int>(minute), static_cast<int>(camera));
        GiveBack(std::move(source));
        res.set_content(FormatPictures(pictures), "text/plain");
    });

    svr.Get(kPicturePath, [this](const httplib::Request& req, httplib::Response& res) {
        std::string day;
        long long minute = 0;
        playback::PictureRef picture;
        if (!DayParam(req, day) || !NumberParam(req, "minute", 0, kMinutesPerDay - 1, minute) ||
            !NumberParam(req, "pos", 0, std::numeric_limits<long long>::max(), picture.pos) ||
            !NumberParam(req, "size", 0, kMaxPictureSize, picture.size))
            return BadRequest(res, "day must be YYYYMMDD, minute 0 to 1439, pos and size numbers");
        std::vector<std::uint8_t> bytes;
        std::string problem;
        auto source = TakeSource();
        const bool read = source->Read(day, static_cast<int>(minute), picture, bytes, problem);
        GiveBack(std::move(source));
        if (!read) {
            res.status = kUnreadablePicture;
            res.set_content(CleanProblem(problem) + "\n", "text/plain");
            return;
        }
        res.set_content(std::string(bytes.begin(), bytes.end()), "application/octet-stream");
    });

    const std::string host = address.empty() ? "0.0.0.0" : address;
    if (port == 0) {
        port_ = svr.bind_to_any_port(host);
        if (port_ <= 0)
            port_ = 0;
    } else if (svr.bind_to_port(host, port)) {
        port_ = port;
    }
    if (port_ == 0) {
        server_.reset();
        return false;
    }
    // Stop only takes effect once the loop runs, so Start returns when it does (or has ended).
    auto ended = std::make_shared<std::atomic<bool>>(false);
    listener_ = std::thread([&svr, ended] {
        svr.listen_after_bind();
        *ended = true;
    });
    while (!svr.is_running() && !*ended)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (*ended) {
        Stop();
        return false;
    }
    return true;
}

void PictureServer::Stop() {
    if (server_)
        server_->stop();
    if (listener_.joinable())
        listener_.join();
    server_.reset();
    port_ = 0;
    std::lock_guard<std::mutex> lock(idleMutex_);
    idle_.clear();
}

}  // namespace share
