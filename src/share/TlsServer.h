#pragma once
// quillon-share's TLS certificate and key, read and checked before the server starts (a server
// started by the system must fail at once on a file it cannot use, not at a client's
// handshake), and its pin. The handshakes are the engine's (MhdServer).
#include <memory>
#include <string>

#include "platform/Error.h"

namespace share {

class ServerTls {
  public:
    // Not found when a file cannot be opened, damaged when it holds no certificate or key that
    // can be used or they do not belong together.
    static platform::Expected<std::shared_ptr<ServerTls>> Load(const std::string& certificateFile,
                                                               const std::string& keyFile);

    // "sha256:" and the 64 lowercase hex digits of SHA-256 over the certificate's DER: what a
    // client pins (--pin).
    const std::string& pin() const { return pin_; }
    // The certificate, its chain after it, and the key, in PEM.
    const std::string& certificatePem() const { return certificate_; }
    const std::string& keyPem() const { return key_; }

  private:
    ServerTls() = default;
    std::string pin_, certificate_, key_;
};

// Why the server must not listen on host as it would ("" when it may): off loopback, plain
// HTTP only when asked for (--insecure-http), as the token and the recordings would cross the
// network in clear.
std::string PlainHttpProblem(const std::string& host, bool tls, bool insecureHttp);

}  // namespace share
