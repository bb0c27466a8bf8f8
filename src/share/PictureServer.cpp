#include "share/PictureServer.h"

#include "platform/TimeZone.h"

#include <limits>

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

// The value of a query parameter that must be given once.
bool Param(const HttpRequest& req, const char* name, std::string& value) {
    if (req.ParamCount(name) != 1)
        return false;
    value = req.Param(name);
    return true;
}

bool NumberParam(const HttpRequest& req, const char* name, long long low, long long high,
                 long long& value) {
    std::string text;
    return Param(req, name, text) && ParseNumber(text, low, high, value);
}

bool DayParam(const HttpRequest& req, std::string& day) {
    return Param(req, "day", day) && IsDay(day);
}

}  // namespace

PictureServer::PictureServer(std::string storageRoot, MhdServer::Limits limits,
                             std::shared_ptr<const ServerTls> tls)
    : root_(std::move(storageRoot)), limits_(limits), tls_(std::move(tls)) {
    site_.maxBody = 4096;
    site_.gate = [this](const HttpRequest& req, HttpResponse& res) {
        if (token_.empty())
            return true;
        const std::string header = req.Header("authorization");
        const std::string scheme = "Bearer ";
        if (header.rfind(scheme, 0) == 0 && SameSecret(header.substr(scheme.size()), token_))
            return true;
        res.Text(401, "a valid token is required");
        res.headers.emplace_back("WWW-Authenticate", "Bearer");
        return false;
    };
    site_.handle = [this](const HttpRequest& req, HttpResponse& res) { Handle(req, res); };
}

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

void PictureServer::Handle(const HttpRequest& req, HttpResponse& res) {
    if (req.method != "GET")
        return res.Text(404, "no such route");
    if (req.path == kDaysPath) {
        auto source = TakeSource();
        res.body = FormatDays(source->Days());
        res.headers.emplace_back(kTimeZoneHeader, platform::LocalTimeZoneName());
        GiveBack(std::move(source));
    } else if (req.path == kMinutesPath) {
        std::string day;
        if (!DayParam(req, day))
            return res.Text(400, "day must be YYYYMMDD");
        auto source = TakeSource();
        res.body = FormatMinutes(source->Minutes(day));
        GiveBack(std::move(source));
    } else if (req.path == kPicturesPath) {
        std::string day;
        long long minute = 0, camera = 0;
        if (!DayParam(req, day) || !NumberParam(req, "minute", 0, kMinutesPerDay - 1, minute) ||
            !NumberParam(req, "camera", 0, kCameras - 1, camera))
            return res.Text(400, "day must be YYYYMMDD, minute 0 to 1439, camera 0 to 63");
        auto source = TakeSource();
        const auto pictures =
            source->Pictures(day, static_cast<int>(minute), static_cast<int>(camera));
        GiveBack(std::move(source));
        res.body = FormatPictures(pictures);
    } else if (req.path == kPicturePath) {
        std::string day;
        long long minute = 0;
        playback::PictureRef picture;
        if (!DayParam(req, day) || !NumberParam(req, "minute", 0, kMinutesPerDay - 1, minute) ||
            !NumberParam(req, "pos", 0, std::numeric_limits<long long>::max(), picture.pos) ||
            !NumberParam(req, "size", 0, kMaxPictureSize, picture.size))
            return res.Text(400, "day must be YYYYMMDD, minute 0 to 1439, pos and size numbers");
        std::vector<std::uint8_t> bytes;
        auto source = TakeSource();
        const platform::Outcome read = source->Read(day, static_cast<int>(minute), picture, bytes);
        GiveBack(std::move(source));
        if (!read)
            return res.Text(kUnreadablePicture, CleanProblem(read.error().Said()));
        res.contentType = "application/octet-stream";
        res.body.assign(bytes.begin(), bytes.end());
    } else {
        res.Text(404, "no such route");
    }
}

bool PictureServer::Start(const std::string& address, int port, const std::string& token) {
    Stop();
    token_ = token;
    server_ = std::make_unique<MhdServer>(site_, limits_, tls_);
    if (!server_->Start(address.empty() ? "0.0.0.0" : address, port)) {
        server_.reset();
        return false;
    }
    port_ = server_->port();
    return true;
}

void PictureServer::Stop() {
    if (server_)
        server_->Stop();
    server_.reset();
    port_ = 0;
    std::lock_guard<std::mutex> lock(idleMutex_);
    idle_.clear();
}

}  // namespace share
