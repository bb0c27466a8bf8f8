#pragma once
// quillon-share's HTTP side: the routes of ShareProtocol.h over one recorder's storage, served
// on threads of the HTTP library while the image builds run on threads of ShareJobs.
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "backup/ShareService.h"

namespace httplib {
class Server;
}

namespace share {

class ShareJobs;

class ShareServer {
  public:
    struct Options {
        std::string token;     // "" only on a loopback address
        bool verbose = false;  // one line per request and per built file on stderr
        // Also sees every built file (ShareJobs::Observer), after the verbose line.
        std::function<void(const std::string&, const std::atomic<bool>&)> onBuildItem;
    };
    ShareServer(ShareService::Settings settings, Options options);
    ~ShareServer();
    ShareServer(const ShareServer&) = delete;
    ShareServer& operator=(const ShareServer&) = delete;

    // Binds host:port (port 0: any free one) and serves on a thread of its own. False, with
    // why, when the address is refused or cannot be bound.
    bool Start(const std::string& host, int port, std::string* why);
    // The port bound by Start.
    int port() const { return port_; }
    // Stops serving, cancels running builds and waits for every thread.
    void Stop();
    ShareService& service() { return *service_; }

  private:
    void Routes();
    std::unique_ptr<ShareService> service_;
    std::unique_ptr<httplib::Server> http_;
    Options options_;
    std::unique_ptr<ShareJobs> jobs_;
    std::thread listener_;
    int port_ = 0;
};

}  // namespace share
