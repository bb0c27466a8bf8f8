#pragma once
// Serves the pictures of this machine's recorder to a remote preview over HTTP: the recorded
// days, the minutes of a day, one camera's pictures of a minute and the bytes of one picture,
// exactly as a LocalPictureSource over the same root gives them (wire format in PictureWire.h).
// The storage is only read.
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "share/MhdServer.h"

namespace playback {
class LocalPictureSource;
}

namespace share {

class PictureServer {
  public:
    // storageRoot: the recordings root as a drive path ("C:\QorData"); tls: HTTPS with this
    // certificate (nullptr: plain HTTP).
    explicit PictureServer(std::string storageRoot, MhdServer::Limits limits = {},
                           std::shared_ptr<const ServerTls> tls = nullptr);
    ~PictureServer();
    PictureServer(const PictureServer&) = delete;
    PictureServer& operator=(const PictureServer&) = delete;

    // Listens on address:port (port 0: a free port, see Port()) and answers on threads of its
    // own until Stop. token "" lets every caller in; otherwise "Authorization: Bearer TOKEN" is
    // required. False when the address cannot be bound.
    bool Start(const std::string& address, int port, const std::string& token);
    // Told of every request's outcome and every connection refused (HttpSite::log); set before
    // Start.
    void SetLog(std::function<void(const HttpOutcome&)> log) { site_.log = std::move(log); }
    void Stop();
    int Port() const { return port_; }

  private:
    void Handle(const HttpRequest& req, HttpResponse& res);
    // A source per request in flight: each caches the data file it read last, so one is never
    // used by two threads at once; idle ones are kept for the next request.
    std::unique_ptr<playback::LocalPictureSource> TakeSource();
    void GiveBack(std::unique_ptr<playback::LocalPictureSource> source);

    std::string root_;
    MhdServer::Limits limits_;
    std::shared_ptr<const ServerTls> tls_;
    std::string token_;
    int port_ = 0;
    HttpSite site_;
    std::unique_ptr<MhdServer> server_;
    std::mutex idleMutex_;
    std::vector<std::unique_ptr<playback::LocalPictureSource>> idle_;
};

}  // namespace share
