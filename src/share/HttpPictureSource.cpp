#include "share/HttpPictureSource.h"

#include <httplib.h>

#include <algorithm>
#include <cstdio>

#include "share/PictureWire.h"
#include "share/ShareLink.h"

namespace share {
namespace {

std::string ClockText(int minuteOfDay) {
    char text[8];
    std::snprintf(text, sizeof text, "%02d:%02d", minuteOfDay / 60 % 100, minuteOfDay % 60);
    return text;
}

std::string MinuteQuery(const std::string& day, int minuteOfDay) {
    return "?day=" + day + "&minute=" + std::to_string(minuteOfDay);
}

// The server's own words for a refusal, shown as one line.
std::string Reason(const std::string& body) {
    std::string text = CleanProblem(body);
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    return text;
}

}  // namespace

HttpPictureSource::HttpPictureSource(std::string address, int port, std::string token,
                                     std::chrono::milliseconds timeout, TlsTrust tls)
    : where_(address + ":" + std::to_string(port)), timeout_(timeout) {
    if (tls.on) {
        check_ = std::make_unique<TlsCheck>(std::move(tls), address, port);
        auto secure = std::make_unique<httplib::SSLClient>(address, port);
        // The check is the whole verification (see ShareLink).
        secure->enable_server_certificate_verification(false);
        if (!secure->is_valid() || !check_->Prepare(secure->ssl_context(), &setupProblem_))
            setupProblem_ = setupProblem_.empty() ? "TLS cannot be set up" : setupProblem_;
        client_ = std::move(secure);
    } else {
        client_ = std::make_unique<httplib::ClientImpl>(address, port);
    }
    client_->set_keep_alive(true);
    client_->set_tcp_nodelay(true);
    client_->set_connection_timeout(timeout);
    client_->set_read_timeout(timeout);
    client_->set_write_timeout(timeout);
    if (!token.empty())
        client_->set_bearer_token_auth(token);
}

HttpPictureSource::~HttpPictureSource() = default;

bool HttpPictureSource::Fetch(const std::string& path, std::size_t limit, int& status,
                              std::string& body, std::string& problem) {
    body.clear();
    status = 0;
    if (!setupProblem_.empty()) {
        problem = setupProblem_;
        return false;
    }
    if (check_)
        check_->Reset();
    bool tooLarge = false, tooSlow = false;
    // The read timeout bounds each wait only; a server that trickles bytes is cut off here.
    const auto deadline = std::chrono::steady_clock::now() + timeout_ * 4;
    const auto result = client_->Get(
        path, httplib::Headers{},
        [&](const httplib::Response& head) {
            status = head.status;
            retryAfter_ = head.get_header_value("Retry-After");
            if (head.has_header(kTimeZoneHeader))
                timeZone_ = head.get_header_value(kTimeZoneHeader);
            const std::string length = head.get_header_value("Content-Length");
            long long announced = 0;
            if (!length.empty() &&
                (!ParseNumber(length, 0, static_cast<long long>(limit), announced))) {
                tooLarge = true;
                return false;
            }
            return true;
        },
        [&](const char* data, std::size_t size) {
            if (body.size() + size > limit) {
                tooLarge = true;
                return false;
            }
            if (std::chrono::steady_clock::now() > deadline) {
                tooSlow = true;
                return false;
            }
            body.append(data, size);
            return true;
        });
    if (result && !tooLarge && !tooSlow)
        return true;
    body.clear();
    if (tooLarge)
        problem = "the recorder at " + where_ + " sent a reply larger than " +
                  std::to_string(limit) + " bytes";
    else if (tooSlow)
        problem = "the recorder at " + where_ + " answers too slowly";
    else if (check_ && result.error() == httplib::Error::SSLConnection)
        problem = check_->HandshakeFailure();
    else if (result.error() == httplib::Error::Read)
        problem = "the recorder at " + where_ + " does not answer";
    else
        problem = "the recorder at " + where_ + " cannot be reached (" +
                  httplib::to_string(result.error()) + ")";
    return false;
}

std::string HttpPictureSource::Refusal(int status, const std::string& body) const {
    if (status == 401)
        return "the recorder at " + where_ + " does not accept our token";
    // The server's own words, when it gave some (a port that speaks HTTPS only says so).
    const std::string reason = Reason(body);
    if (status == 503)
        return "the recorder at " + where_ + " " + TurnedAway(reason, retryAfter_);
    return "the recorder at " + where_ + " answered with status " + std::to_string(status) +
           (reason.empty() ? "" : ": " + reason);
}

std::vector<std::string> HttpPictureSource::Days() {
    std::lock_guard<std::mutex> lock(mutex_);
    lastProblem_.clear();
    int status = 0;
    std::string body;
    std::vector<std::string> days;
    if (!Fetch(kDaysPath, kMaxListReply, status, body, lastProblem_))
        return days;
    if (status != 200)
        lastProblem_ = Refusal(status, body);
    else if (!ParseDays(body, days, lastProblem_))
        lastProblem_ =
            "the recorder at " + where_ + " sent a day list that makes no sense: " + lastProblem_;
    return days;
}

std::vector<int> HttpPictureSource::Minutes(const std::string& day) {
    std::lock_guard<std::mutex> lock(mutex_);
    lastProblem_.clear();
    std::vector<int> minutes;
    if (!IsDay(day)) {
        lastProblem_ = "\"" + CleanProblem(day) + "\" is not a day";
        return minutes;
    }
    int status = 0;
    std::string body;
    if (!Fetch(std::string(kMinutesPath) + "?day=" + day, kMaxListReply, status, body,
               lastProblem_))
        return minutes;
    if (status != 200)
        lastProblem_ = Refusal(status, body);
    else if (!ParseMinutes(body, minutes, lastProblem_))
        lastProblem_ = "the recorder at " + where_ +
                       " sent a minute list that makes no sense: " + lastProblem_;
    return minutes;
}

playback::MinutePictures HttpPictureSource::Pictures(const std::string& day, int minuteOfDay,
                                                     int camera) {
    std::lock_guard<std::mutex> lock(mutex_);
    playback::MinutePictures out;
    // What the local source answers for a camera it cannot have; no need to ask.
    if (camera < 0 || camera >= kCameras)
        return out;
    if (!IsDay(day) || minuteOfDay < 0 || minuteOfDay >= kMinutesPerDay) {
        out.problem = "the pictures of " + ClockText(minuteOfDay) + " cannot be asked for";
        return out;
    }
    int status = 0;
    std::string body, problem;
    if (!Fetch(std::string(kPicturesPath) + MinuteQuery(day, minuteOfDay) +
                   "&camera=" + std::to_string(camera),
               kMaxListReply, status, body, problem)) {
        out.problem = problem;
    } else if (status != 200) {
        out.problem = Refusal(status, body);
    } else if (!ParsePictures(body, out, problem)) {
        out.problem = "the recorder at " + where_ + " sent a picture list of " +
                      ClockText(minuteOfDay) + " that makes no sense: " + problem;
    }
    return out;
}

platform::Outcome HttpPictureSource::Read(const std::string& day, int minuteOfDay,
                                          const playback::PictureRef& picture,
                                          std::vector<std::uint8_t>& bytes) {
    using Kind = platform::Error::Kind;
    std::lock_guard<std::mutex> lock(mutex_);
    bytes.clear();
    const auto fail = [](Kind kind, std::string what) {
        return platform::Error{kind, std::move(what), ""};
    };
    const std::string named = "a picture of " + ClockText(minuteOfDay);
    if (!IsDay(day) || minuteOfDay < 0 || minuteOfDay >= kMinutesPerDay || picture.pos < 0 ||
        picture.size < 0 || picture.size > kMaxPictureSize)
        return fail(Kind::kDamaged, named + " has an impossible size");
    int status = 0;
    std::string body, problem;
    const std::size_t size = static_cast<std::size_t>(picture.size);
    // A refusal's reason may be longer than a tiny picture.
    if (!Fetch(std::string(kPicturePath) + MinuteQuery(day, minuteOfDay) +
                   "&pos=" + std::to_string(picture.pos) + "&size=" + std::to_string(size),
               std::max(size, kMaxProblemText + 1), status, body, problem))
        return fail(Kind::kFailed, problem);
    if (status == kUnreadablePicture) {
        const std::string reason = Reason(body);
        return fail(Kind::kDamaged, reason.empty() ? named + " cannot be read" : reason);
    }
    if (status != 200)
        return fail(Kind::kFailed, Refusal(status, body));
    if (body.size() != size)
        return fail(Kind::kDamaged, named + " came from the recorder at " + where_ + " with " +
                                        std::to_string(body.size()) + " bytes instead of " +
                                        std::to_string(size));
    bytes.assign(body.begin(), body.end());
    return platform::Succeeded();
}

}  // namespace share
