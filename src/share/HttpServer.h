#pragma once
// The sockets of quillon-share's two ports. One thread reads every request head, with a
// deadline for the whole head, asks the gate (the token) of it, and then reads its body, with a
// deadline of its own, so a client that sends slowly holds a file descriptor but no worker; a
// pool of workers answers complete requests (HttpExchange.h). Each client address may hold only
// a few connections, and those that have not yet brought a request past the gate only a share
// of all: when the server is full, one of them makes room for a newcomer (of the address that
// holds the most of them), and a client turned away is told to come back later (503, through TLS
// too). With TLS, the same thread drives every handshake, which counts against the deadline of
// the first head: a client that never finishes its handshake holds no worker either.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/Error.h"
#include "platform/TcpListener.h"
#include "platform/WakeUp.h"
#include "share/HttpExchange.h"
#include "share/TlsServer.h"

namespace share {

class HttpServer {
  public:
    struct Limits {
        int workers = 8;
        // Of them, the workers that answer only requests that are not lengthy, so that clients
        // reading files slowly cannot keep the others from being answered.
        int keptForQuick = 2;
        // From a connection's accept, or from its previous reply, to the end of the next
        // request's head; an idle connection is closed after it too.
        std::chrono::milliseconds headTime{5000};
        // A reply that moves no byte for this long is given up.
        std::chrono::milliseconds writeStall{10000};
        std::size_t perAddress = 16;
        std::size_t connections = 512;
        // Of them, the connections that have not yet brought a request past the gate: beyond
        // it, or with every connection taken, one of them is closed for a newcomer.
        std::size_t unproven = 384;
    };

    // tls: HTTPS on the port, with this certificate (nullptr: plain HTTP).
    HttpServer(HttpSite site, Limits limits, std::shared_ptr<const ServerTls> tls = nullptr);
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // Binds host:port (port 0: any free one) and serves until Stop; failed when the address
    // cannot be bound.
    platform::Outcome Start(const std::string& host, int port);
    int port() const { return port_; }
    // Stops accepting, ends every connection and waits for every thread.
    void Stop();
    const HttpSite& site() const { return site_; }

    // An accepted connection (its socket, its TLS, the head being read); the reading thread's
    // or, while it answers, one worker's.
    struct Connection;

  private:
    struct Work;
    void ReadHeads();
    // leaving: the connections turned away that are being told so.
    void Accept(std::vector<std::unique_ptr<Connection>>& reading,
                std::vector<std::unique_ptr<Connection>>& leaving);
    // False when the connection is done with (closed or handed to a worker).
    bool Receive(Connection& c);
    void Examine(std::unique_ptr<Connection>& c);
    // Hands the request to a worker once its whole body has come.
    void TakeBody(std::unique_ptr<Connection>& c);
    // Closes a connection that has brought no request past the gate, for a newcomer; false
    // when there is none.
    bool Evict(std::vector<std::unique_ptr<Connection>>& reading);
    // Answers 503 with Retry-After (through TLS once the handshake is done) and closes, within
    // a short while; the connection is put among leaving until then.
    void TurnAway(platform::TcpConnection& socket, const std::string& why,
                  std::vector<std::unique_ptr<Connection>>& leaving);
    // A step of telling a turned-away connection; false when it is done with.
    bool Depart(Connection& c);
    // The connection has brought a request past the gate (or, closing, is closed): no longer
    // counted among those that have not.
    void Prove(Connection& c, bool closing = false);
    // The TLS handshake of c taken on; false when the connection is done with.
    bool Handshake(Connection& c);
    void Refuse(Connection& c, int status, const std::string& why);
    // Sends no more, and drops what comes until the connection is closed.
    void Linger(Connection& c);
    void Close(std::unique_ptr<Connection> c);
    void Answer(bool quickOnly);
    void GiveBack(std::unique_ptr<Connection> c, bool keepAlive);
    void Wake();

    HttpSite site_;
    Limits limits_;
    std::shared_ptr<const ServerTls> tls_;
    platform::TcpListener listen_;
    platform::WakeUp wake_;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    std::thread reader_;
    std::vector<std::thread> workers_;
    std::map<std::string, std::size_t> perAddress_;  // the reader's own
    std::size_t open_ = 0;                           // the reader's own
    std::size_t unproven_ = 0;                       // the reader's own: of open_
    std::uint64_t accepted_ = 0;                     // the reader's own: connections so far
    std::map<std::string, std::size_t> unprovenAt_;  // the reader's own: of unproven_
    std::set<std::string> evictedFrom_;              // the reader's own: told of in the log
    std::set<std::string> turnedAway_;               // the reader's own: told of in the log already
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<std::unique_ptr<Work>> work_;             // heads complete, for the workers
    std::deque<std::unique_ptr<Work>> lengthy_;          // the same, of lengthy requests
    std::vector<std::unique_ptr<Connection>> returned_;  // from the workers, for the reader
};

}  // namespace share
