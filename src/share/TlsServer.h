#pragma once
// quillon-share's TLS: its certificate and key (PEM), TLS 1.2 at least, and the TLS side of each
// connection it accepts. A session never blocks: HttpServer's reading thread drives every
// handshake, under the deadline of the request head, as it reads heads; a worker only ever gets
// a connection whose handshake is done.
#include <cstddef>
#include <memory>
#include <string>

#include "platform/Error.h"

struct ssl_st;
struct ssl_ctx_st;

namespace share {

class ServerTls {
  public:
    // Not found when a file cannot be opened, damaged when it holds no certificate or key that
    // can be used or they do not belong together.
    static platform::Expected<std::shared_ptr<ServerTls>> Load(const std::string& certificateFile,
                                                               const std::string& keyFile);
    ~ServerTls();
    ServerTls(const ServerTls&) = delete;
    ServerTls& operator=(const ServerTls&) = delete;

    // "sha256:" and the 64 lowercase hex digits of SHA-256 over the certificate's DER: what a
    // client pins (--pin).
    const std::string& pin() const { return pin_; }
    ssl_ctx_st* context() const { return ctx_; }

  private:
    ServerTls() = default;
    ssl_ctx_st* ctx_ = nullptr;
    std::string pin_;
};

// Why the server must not listen on host as it would ("" when it may): off loopback, plain
// HTTP only when asked for (--insecure-http), as the token and the recordings would cross the
// network in clear.
std::string PlainHttpProblem(const std::string& host, bool tls, bool insecureHttp);

// The TLS of one accepted connection, on a socket that never blocks. Used by one thread at a
// time.
class TlsSession {
  public:
    TlsSession(const ServerTls& tls, int socket);
    ~TlsSession();
    TlsSession(const TlsSession&) = delete;
    TlsSession& operator=(const TlsSession&) = delete;

    // Takes the handshake as far as the bytes that came allow: 1 when it is done, 0 when it
    // waits (see WantsWrite), -1 when it failed.
    int Handshake();
    // As TcpConnection's Receive and Send: a count; 0 when the peer has closed; kNotNow (see
    // WantsWrite); -1 on an error.
    long long Receive(char* data, std::size_t size);
    long long Send(const char* data, std::size_t size);
    // Whether what waits (a handshake not done, or kNotNow) waits for room to write rather than
    // for bytes to read.
    bool WantsWrite() const { return wantsWrite_; }
    // Bytes already received and decrypted: a Receive takes them without waiting.
    bool Pending() const;
    // Tells the peer the connection ends (close_notify), without waiting for its answer.
    void Shutdown();

  private:
    // The outcome of an SSL call that returned n.
    long long Outcome(int n);
    ssl_st* ssl_ = nullptr;
    bool wantsWrite_ = false;
};

}  // namespace share
