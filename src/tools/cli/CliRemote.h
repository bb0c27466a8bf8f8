#pragma once
// quillon-cli against a remote recorder (--remote ADDRESS:PORT): the share client's answers,
// which arrive on its own thread, are handled here on the main thread as the window's loop
// handles them. Everything goes over the one port given.
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "backup/BackupContext.h"
#include "ports/CFileShareClient.h"

struct RemoteOptions {
    std::string address;  // "" for the local recorder
    int port = 0;
    std::string token;
    std::string tokenFile;  // --token-file, read by TakeRemoteToken
    // TLS: an https:// address, and how its certificate is trusted (--ca FILE, --pin PIN).
    bool https = false;
    std::string ca, pin;
    // How long the server may build an image without progress (0: the client's own limit).
    int buildStallSeconds = 0;
};

// "host:port" or "https://host:port" into address, port and https; false when it is not one.
bool ParseRemote(const std::string& text, RemoteOptions& out);
// TLS: why --ca and --pin cannot be used as given ("" when they can).
std::string RemoteTlsProblem(const RemoteOptions& options);

// Sets the token from the first source given of --token, --token-file, QUILLON_SHARE_TOKEN and
// the service's credential "token". Why not, when the one given cannot be used ("" when it can,
// or when none was given).
std::string TakeRemoteToken(RemoteOptions& options);

class RemoteLink : public IShareClientReceiver {
  public:
    // Puts ctx into remote mode with a client of this link.
    RemoteLink(BackupContext& ctx, const RemoteOptions& options);
    ~RemoteLink() override;

    void PostShareMessage(unsigned message, unsigned long code, const void* record,
                          unsigned long size) override;
    // Handles what has arrived, waiting up to ms for the first answer.
    void Serve(int ms);
    // Serves until an answer with code was handled; false after timeoutMs without it.
    bool ServeUntil(unsigned long code, int timeoutMs);
    // The worker to wake for the next entry (code 6).
    void SetWorkerWake(std::function<void()> wake) { wake_ = std::move(wake); }
    // The recorded days, newest first; why, when none. zone: the recorder's time zone as it
    // names it ("" when it names none).
    std::vector<std::string> Days(std::string& problem, std::string* zone = nullptr) const;
    CFileShareClient& client() { return *client_; }
    // Why a remote backup ended (code 7).
    std::string endedWhy;
    bool ended = false;  // code 7 came

  private:
    struct Answer {
        unsigned message;
        unsigned long code;
        std::string record;
        bool hadRecord;
        unsigned long size;
    };
    BackupContext& ctx_;
    RemoteOptions options_;
    std::unique_ptr<CFileShareClient> client_;
    std::function<void()> wake_;
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::deque<Answer> answers_;
    std::vector<unsigned long> handled_;  // codes handled since the last ServeUntil began
};
