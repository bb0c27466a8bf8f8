#include "share/ShareServer.h"

#include "platform/ClockSync.h"

#include "platform/TimeZone.h"

#include "share/ClientId.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "platform/File.h"
#include "share/PictureWire.h"
#include "share/ShareAccess.h"
#include "share/ShareJobs.h"
#include "share/ShareProtocol.h"
#include "share/ShareReplies.h"

namespace share {
namespace {

template <class Record>
void SendRecord(HttpResponse& res, const Record& record) {
    res.contentType = kBinaryType;
    res.body.assign(reinterpret_cast<const char*>(&record), sizeof record);
}

// The job id of "/v1/image/{id}" or "/v1/image/{id}/cancel"; cancel tells which.
std::optional<std::uint64_t> JobPath(const std::string& path, bool* cancel) {
    const std::string prefix = std::string(kRouteImage) + "/";
    if (path.compare(0, prefix.size(), prefix) != 0)
        return std::nullopt;
    std::string rest = path.substr(prefix.size());
    constexpr std::string_view kCancel = "/cancel";
    *cancel = rest.size() > kCancel.size() &&
              rest.compare(rest.size() - kCancel.size(), kCancel.size(), kCancel) == 0;
    if (*cancel)
        rest.resize(rest.size() - kCancel.size());
    if (rest.empty() || rest.size() > 19 ||
        rest.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    return ParseJobId(rest);
}

std::string Megabytes(unsigned long long bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / 1e6);
    return text;
}

// "image 2010_05_23=10,00~10,03 for 10.0.0.7 built: 48 files, 12.5 MB in 3.2 s (job 4)"
std::string ImageEndText(const ShareJobs::Ended& end) {
    std::string text = "image " + (end.entry.empty() ? std::string("(no entry)") : end.entry);
    if (!end.requester.empty())
        text += " for " + end.requester;
    char took[32];
    std::snprintf(took, sizeof took, "%.1f s", static_cast<double>(end.took.count()) / 1000);
    switch (end.state) {
        case JobState::kDone:
            text += " built: " + std::to_string(end.files) + " files, " + Megabytes(end.bytes) +
                    " in " + took;
            if (end.lacking > 0)
                text += "; it lacks what the recording lacks: " + end.lacks +
                        (end.lacking > 1 ? " (and " + std::to_string(end.lacking - 1) + " more)"
                                         : std::string());
            break;
        case JobState::kFailed:
            text += " not built (" + std::string(took) + "): " + end.problem;
            break;
        default:
            text += " cancelled after " + std::string(took);
            break;
    }
    return text + " (job " + std::to_string(end.id) + ")";
}

}  // namespace

ShareServer::ShareServer(ShareService::Settings settings, Options options)
    : service_(std::make_unique<ShareService>(std::move(settings))), options_(std::move(options)) {
    jobs_ = std::make_unique<ShareJobs>(
        *service_,
        [this](const std::string& item, const std::atomic<bool>& cancel) {
            if (options_.log)
                options_.log->Write(LogLevel::kDebug, "building " + item);
            if (options_.onBuildItem)
                options_.onBuildItem(item, cancel);
        },
        [this](const ShareJobs::Ended& end) {
            if (options_.log)
                options_.log->Write(end.state == JobState::kFailed || end.lacking > 0
                                        ? LogLevel::kWarning
                                        : LogLevel::kInfo,
                                    ImageEndText(end));
        });
    // The largest body a client sends is a size request (6160 bytes): nothing bigger is read.
    site_.maxBody = 64 * 1024;
    // A request without the token gets 401 and nothing else: no route is reached, no body read.
    site_.gate = [this](const HttpRequest& req, HttpResponse& res) {
        if (options_.token.empty() || TokenMatches(req.Header("authorization"), options_.token))
            return true;
        res.Text(401, "a bearer token is required");
        res.headers.emplace_back("WWW-Authenticate", "Bearer");
        return false;
    };
    site_.handle = [this](const HttpRequest& req, HttpResponse& res) { Handle(req, res); };
    // A file is sent at the pace its client reads it.
    site_.log = [this](const HttpOutcome& outcome) {
        if (!options_.log)
            return;
        // A client polls a build's status many times a second while it waits.
        bool cancel = false;
        const bool poll = outcome.request && outcome.request->method == "GET" &&
                          JobPath(outcome.request->path, &cancel) && !cancel;
        options_.log->Write(OutcomeLevel(outcome, poll), OutcomeText(outcome));
    };
}

ShareServer::~ShareServer() {
    Stop();
}

void ShareServer::Handle(const HttpRequest& req, HttpResponse& res) {
    const bool post = req.method == "POST", get = req.method == "GET";
    bool cancel = false;
    if (post && req.path == kRouteIndex) {
        if (!IsDay(req.body))
            return res.Text(400, "the day must be 8 digits YYYYMMDD");
        SendRecord(res, service_->IndexReply(req.body));
    } else if (post && req.path == kRouteSize) {
        const std::string p =
            RecordSizeProblem("size request", req.body.size(), sizeof(_BACKUPADDTOTALSIZE));
        if (!p.empty())
            return res.Text(400, p);
        _BACKUPADDTOTALSIZE request;
        std::memcpy(&request, req.body.data(), sizeof request);
        SendRecord(res, service_->AddSize(request));
    } else if (post && req.path == kRouteImage) {
        const std::string p =
            RecordSizeProblem("image request", req.body.size(), sizeof(_BACKUPMAKEIMAGE));
        if (!p.empty())
            return res.Text(400, p);
        const std::string client = req.Param("client");
        if (req.ParamCount("client") > 1)
            return res.Text(400, "one client id, not several");
        if (const std::string bad = ClientIdProblem(client);
            req.ParamCount("client") == 1 && !bad.empty())
            return res.Text(400, bad);
        _BACKUPMAKEIMAGE request;
        std::memcpy(&request, req.body.data(), sizeof request);
        res.body = std::to_string(jobs_->Start(request, req.remote, client));
    } else if (auto id = JobPath(req.path, &cancel); id && (cancel ? post : get)) {
        if (cancel) {
            if (!jobs_->Cancel(*id))
                return res.Text(404, "no such image job");
            res.body = "cancelled\n";
        } else {
            // A client that keeps the list says how much of it it has; a number that is no
            // number gets the whole list.
            std::optional<std::uint64_t> since;
            if (req.ParamCount("since") > 0)
                since = ParseJobId(req.Param("since")).value_or(0);
            auto status = jobs_->Status(*id, since);
            if (!status)
                return res.Text(404, "no such image job");
            res.body = FormatJobStatus(*status);
        }
    } else if (get && req.path == kDaysPath) {
        // The day list of the preview's port, here too: a pull or a remote backup needs no
        // port but the one it was given.
        res.body = FormatDays(service_->RecordedDays());
        res.headers.emplace_back(kTimeZoneHeader, platform::LocalTimeZoneName());
    } else if (get && req.path == kRouteFile) {
        ServeFile(req, res);
    } else if (get && req.path == kRouteClock) {
        // Read as late as can be: the client reckons its offset from the middle of its wait.
        res.body = std::to_string(platform::UtcMicroseconds()) + "\n";
    } else if (post && req.path == kRouteDelete) {
        if (!service_->DeleteTemp(req.body))
            return res.Text(404, "no temporary image of that name");
        res.body = "deleted\n";
    } else {
        res.Text(404, "no such route");
    }
}

void ShareServer::ServeFile(const HttpRequest& req, HttpResponse& res) {
    const std::string entry = req.Param("entry");
    const std::string name = req.Param("name");
    if (!EntryProblem(entry).empty() || !RemoteNameProblem(name).empty())
        return res.Text(400, "no such image file");
    auto file = std::make_shared<platform::File>();
    switch (service_->OpenImageFile(entry, name, *file)) {
        case ShareService::Opened::kOpen:
            break;
        case ShareService::Opened::kUnlisted:
            return res.Text(404, "no such image file");
        case ShareService::Opened::kChanged:
            return res.Text(409, "the image file is no longer the one that was listed");
    }
    const long long length = file->Length();
    if (length < 0)
        return res.Text(500, "the image file cannot be read");
    res.contentType = kBinaryType;
    res.fileLength = length;
    ShareService* service = service_.get();
    // An image being sent is in use, however long the file takes.
    res.sending = [service, entry] { service->Touch(entry); };
    res.file = std::move(file);
}

void ShareServer::Sweep() {
    using namespace std::chrono;
    const auto every = std::clamp<milliseconds>(
        duration_cast<milliseconds>(service_->abandonAfter() / 4), milliseconds(50), minutes(1));
    std::unique_lock<std::mutex> lock(sweepMutex_);
    while (sweeping_) {
        if (sweepWake_.wait_for(lock, every, [this] { return !sweeping_; }))
            break;
        lock.unlock();
        service_->RemoveAbandoned();
        lock.lock();
    }
}

platform::Outcome ShareServer::Start(const std::string& host, int port) {
    std::string problem = ListenProblem(host, options_.token);
    if (problem.empty())
        problem = PlainHttpProblem(host, options_.tls != nullptr, options_.insecureHttp);
    if (!problem.empty())
        return platform::Error{platform::Error::Kind::kRefused, problem, {}};
    http_ = std::make_unique<MhdServer>(site_, options_.limits, options_.tls);
    if (platform::Outcome started = http_->Start(host, port); !started) {
        http_.reset();
        return started;
    }
    sweeping_ = true;
    sweeper_ = std::thread([this] { Sweep(); });
    return platform::Succeeded();
}

void ShareServer::Stop() {
    if (http_)
        http_->Stop();
    {
        std::lock_guard<std::mutex> lock(sweepMutex_);
        sweeping_ = false;
    }
    sweepWake_.notify_all();
    if (sweeper_.joinable())
        sweeper_.join();
    jobs_->CancelAll();
}

}  // namespace share
