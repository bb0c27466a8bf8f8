#pragma once
// quillon-share's HTTP side: the routes of ShareProtocol.h over one recorder's storage, served
// by MhdServer while the image builds run on threads of ShareJobs. A timer removes the images
// nobody fetches from any more.
#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "backup/server/ShareService.h"
#include "platform/Error.h"
#include "share/MhdServer.h"
#include "share/ShareLog.h"

namespace share {

class ShareJobs;

class ShareServer {
  public:
    struct Options {
        std::string token;  // "" only on a loopback address
        // Takes a line per request's outcome and per image built or refused, and at debug
        // level one per file built; null: nothing is logged. It must outlive the server.
        const Log* log = nullptr;
        // Also sees every built file (ShareJobs::Observer), after its log line.
        std::function<void(const std::string&, const std::atomic<bool>&)> onBuildItem;
        MhdServer::Limits limits;
        // HTTPS with this certificate (nullptr: plain HTTP, which off loopback needs
        // insecureHttp).
        std::shared_ptr<const ServerTls> tls;
        bool insecureHttp = false;
    };
    ShareServer(ShareService::Settings settings, Options options);
    ~ShareServer();
    ShareServer(const ShareServer&) = delete;
    ShareServer& operator=(const ShareServer&) = delete;

    // Binds host:port (port 0: any free one) and serves on threads of its own; refused for an
    // address the token or TLS options do not allow, failed when it cannot be bound.
    platform::Outcome Start(const std::string& host, int port);
    // The port bound by Start.
    int port() const { return http_ ? http_->port() : 0; }
    // Stops serving, cancels running builds and waits for every thread.
    void Stop();
    ShareService& service() { return *service_; }

  private:
    void Handle(const HttpRequest& req, HttpResponse& res);
    void ServeFile(const HttpRequest& req, HttpResponse& res);
    void Sweep();

    std::unique_ptr<ShareService> service_;
    Options options_;
    HttpSite site_;
    std::unique_ptr<ShareJobs> jobs_;
    std::unique_ptr<MhdServer> http_;
    std::mutex sweepMutex_;
    std::condition_variable sweepWake_;
    bool sweeping_ = false;
    std::thread sweeper_;
};

}  // namespace share
