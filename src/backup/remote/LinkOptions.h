#pragma once
// How a program without a window reaches a remote recorder: its address and port, the token
// its requests carry, and how the server's certificate is trusted over TLS. The link's adapter
// reads them from the text given (share/LinkSetup.h) and makes its client of them.
#include <string>

namespace backup {

struct LinkOptions {
    std::string address;  // "" for the local recorder
    int port = 0;
    std::string token;
    std::string tokenFile;  // a file to read the token from (see share::TakeLinkToken)
    // TLS: an https:// address, and how its certificate is trusted (a CA file, a key's pin).
    bool https = false;
    std::string ca, pin;
    // How long the server may build an image without progress (0: the client's own limit).
    int buildStallSeconds = 0;
};

}  // namespace backup
