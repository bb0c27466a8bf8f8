#pragma once
// quillon-cli against a remote recorder (--remote ADDRESS:PORT): the share client's answers,
// which arrive on its own thread, are served from the core's inbox on the main thread.
// Everything goes over the one port given.
#include <memory>
#include <string>
#include <vector>

#include "backup/Session.h"
#include "backup/remote/LinkInbox.h"
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

class RemoteLink {
  public:
    // Puts session into remote mode with a client of this link, whose answers its inbox keeps.
    RemoteLink(backup::Session& session, const RemoteOptions& options);
    ~RemoteLink();

    // The recorded days, newest first; why, when none. zone: the recorder's time zone as it
    // names it ("" when it names none).
    std::vector<std::string> Days(std::string& problem, std::string* zone = nullptr) const;
    CFileShareClient& client() { return *client_; }

  private:
    backup::Session& session_;
    RemoteOptions options_;
    std::unique_ptr<CFileShareClient> client_;
};
