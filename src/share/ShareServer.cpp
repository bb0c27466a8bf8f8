#include "share/ShareServer.h"

#include <httplib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "platform/File.h"
#include "share/ShareAccess.h"
#include "share/ShareJobs.h"
#include "share/ShareProtocol.h"
#include "share/ShareReplies.h"

namespace share {
namespace {

void Refuse(httplib::Response& res, int status, const std::string& why) {
    res.status = status;
    res.set_content(why + "\n", kTextType);
}

template <class Record>
void SendRecord(httplib::Response& res, const Record& record) {
    res.set_content(reinterpret_cast<const char*>(&record), sizeof record, kBinaryType);
}

bool IsDay(const std::string& day) {
    return day.size() == 8 && day.find_first_not_of("0123456789") == std::string::npos;
}

}  // namespace

ShareServer::ShareServer(ShareService::Settings settings, Options options)
    : service_(std::make_unique<ShareService>(std::move(settings))),
      http_(std::make_unique<httplib::Server>()),
      options_(std::move(options)) {
    jobs_ = std::make_unique<ShareJobs>(
        *service_, [this](const std::string& item, const std::atomic<bool>& cancel) {
            if (options_.verbose)
                std::fprintf(stderr, "building %s\n", item.c_str());
            if (options_.onBuildItem)
                options_.onBuildItem(item, cancel);
        });
    Routes();
}

ShareServer::~ShareServer() {
    Stop();
}

void ShareServer::Routes() {
    httplib::Server& http = *http_;
    // The largest body a client sends is a size request (6160 bytes): nothing bigger is read.
    http.set_payload_max_length(64 * 1024);
    // A connection that sends nothing for this long gives its thread back.
    http.set_read_timeout(10, 0);
    // A request without the token gets 401 and nothing else: no route is reached.
    http.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
        if (!options_.token.empty() &&
            !TokenMatches(req.get_header_value("Authorization"), options_.token)) {
            Refuse(res, 401, "a bearer token is required");
            res.set_header("WWW-Authenticate", "Bearer");
            return httplib::Server::HandlerResponse::Handled;
        }
        return httplib::Server::HandlerResponse::Unhandled;
    });
    if (options_.verbose) {
        http.set_logger([](const httplib::Request& req, const httplib::Response& res) {
            std::fprintf(stderr, "%s %s %s -> %d\n", req.remote_addr.c_str(), req.method.c_str(),
                         req.target.c_str(), res.status);
        });
    }

    http.Post(kRouteIndex, [this](const httplib::Request& req, httplib::Response& res) {
        if (!IsDay(req.body))
            return Refuse(res, 400, "the day must be 8 digits YYYYMMDD");
        SendRecord(res, service_->IndexReply(req.body));
    });

    http.Post(kRouteSize, [this](const httplib::Request& req, httplib::Response& res) {
        const std::string p =
            RecordSizeProblem("size request", req.body.size(), sizeof(_BACKUPADDTOTALSIZE));
        if (!p.empty())
            return Refuse(res, 400, p);
        _BACKUPADDTOTALSIZE request;
        std::memcpy(&request, req.body.data(), sizeof request);
        SendRecord(res, service_->AddSize(request));
    });

    http.Post(kRouteImage, [this](const httplib::Request& req, httplib::Response& res) {
        const std::string p =
            RecordSizeProblem("image request", req.body.size(), sizeof(_BACKUPMAKEIMAGE));
        if (!p.empty())
            return Refuse(res, 400, p);
        _BACKUPMAKEIMAGE request;
        std::memcpy(&request, req.body.data(), sizeof request);
        res.set_content(std::to_string(jobs_->Start(request)), kTextType);
    });

    http.Get(R"(/v1/image/(\d{1,19}))",
             [this](const httplib::Request& req, httplib::Response& res) {
                 auto id = ParseJobId(req.matches[1].str());
                 auto status = id ? jobs_->Status(*id) : std::nullopt;
                 if (!status)
                     return Refuse(res, 404, "no such image job");
                 res.set_content(FormatJobStatus(*status), kTextType);
             });

    http.Post(R"(/v1/image/(\d{1,19})/cancel)",
              [this](const httplib::Request& req, httplib::Response& res) {
                  auto id = ParseJobId(req.matches[1].str());
                  if (!id || !jobs_->Cancel(*id))
                      return Refuse(res, 404, "no such image job");
                  res.set_content("cancelled\n", kTextType);
              });

    http.Get(kRouteFile, [this](const httplib::Request& req, httplib::Response& res) {
        const std::string entry = req.get_param_value("entry");
        const std::string name = req.get_param_value("name");
        if (!EntryProblem(entry).empty() || !RemoteNameProblem(name).empty())
            return Refuse(res, 400, "no such image file");
        const std::string host = service_->ImageFilePath(entry, name);
        auto file = std::make_shared<platform::File>();
        if (host.empty() || !file->OpenResolved(host, platform::File::kRead))
            return Refuse(res, 404, "no such image file");
        const long long length = file->Length();
        if (length < 0)
            return Refuse(res, 500, "the image file cannot be read");
        // The library answers "Range: bytes=N-" with 206 and the part asked for.
        res.set_content_provider(
            static_cast<std::size_t>(length), kBinaryType,
            [file](std::size_t offset, std::size_t count, httplib::DataSink& sink) {
                char buffer[64 * 1024];
                const std::size_t want = std::min(count, sizeof buffer);
                const long long got = file->ReadAt(buffer, want, offset);
                if (got <= 0)
                    return false;  // the file shrank or failed: the reply ends short
                return sink.write(buffer, static_cast<std::size_t>(got));
            });
    });

    http.Post(kRouteDelete, [this](const httplib::Request& req, httplib::Response& res) {
        if (!service_->DeleteTemp(req.body))
            return Refuse(res, 404, "no temporary image of that name");
        res.set_content("deleted\n", kTextType);
    });
}

bool ShareServer::Start(const std::string& host, int port, std::string* why) {
    const std::string problem = ListenProblem(host, options_.token);
    if (!problem.empty()) {
        if (why)
            *why = problem;
        return false;
    }
    if (port == 0) {
        port_ = http_->bind_to_any_port(host);
    } else {
        port_ = http_->bind_to_port(host, port) ? port : -1;
    }
    if (port_ <= 0) {
        if (why)
            *why = "cannot listen on " + host + ":" + std::to_string(port);
        return false;
    }
    listener_ = std::thread([this] { http_->listen_after_bind(); });
    // Stop only takes effect on a running server; a Stop right after Start must not be lost.
    while (!http_->is_running())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return true;
}

void ShareServer::Stop() {
    if (listener_.joinable()) {
        http_->stop();
        listener_.join();
    }
    jobs_->CancelAll();
}

}  // namespace share
