#pragma once
// The sockets of quillon-share's two ports, on libmicrohttpd: a pool of its threads, each with
// an epoll of its own, reads requests and sends replies without ever waiting on one client, so a
// slow reader or a client that sends slowly holds a descriptor but no thread. What stays ours:
// the gate asked before any byte of a body is taken, the bounded body, the one range of a file,
// the log of each outcome, and who may hold a connection: each client address only a few, and
// those that have not yet brought a request past the gate only a share of all; when the server
// is full one of them makes room for a newcomer, and a client turned away is told to come back
// later (503 with Retry-After). The port is listened at and accepted from here, so that all
// this is decided before the engine has a connection, and what a client's first bytes say is
// looked at first: a TLS port answers plain HTTP in plain HTTP. The accept loop and who may
// hold a connection are MhdArrivals.cpp's; the engine's callbacks and the turns of file replies
// are MhdServer.cpp's.
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

struct MHD_Daemon;
struct MHD_Connection;

namespace share {

class MhdServer {
  public:
    struct Limits {
        // The engine's threads; none of them waits on a client, so a few serve many.
        int workers = 8;
        // Of the workers, those kept from sending files: at most workers - keptForQuick file
        // replies are under way at once, and the others wait their turn, so that readers that
        // do not read cannot hold every open file and the disk between them.
        int keptForQuick = 2;
        // From a connection's accept to the end of its first request's head; a connection on
        // which nothing moves for this long is closed too (rounded up to seconds).
        std::chrono::milliseconds headTime{5000};
        // The same, once a file reply is under way.
        std::chrono::milliseconds writeStall{10000};
        std::size_t perAddress = 16;
        std::size_t connections = 512;
        // Of them, the connections that have not yet brought a request past the gate: beyond
        // it, or with every connection taken, one of them is closed for a newcomer.
        std::size_t unproven = 384;
    };

    // tls: HTTPS on the port, with this certificate (nullptr: plain HTTP).
    MhdServer(HttpSite site, Limits limits, std::shared_ptr<const ServerTls> tls = nullptr);
    ~MhdServer();
    MhdServer(const MhdServer&) = delete;
    MhdServer& operator=(const MhdServer&) = delete;

    // Binds host:port (port 0: any free one) and serves until Stop; failed when the address
    // cannot be bound.
    platform::Outcome Start(const std::string& host, int port);
    int port() const { return port_; }
    // Stops accepting, ends every connection and waits for every thread.
    void Stop();
    const HttpSite& site() const { return site_; }

    // What the server keeps of one connection (its socket context).
    struct Peer;
    // One request under way (its request context).
    struct Call;

    // The engine's callbacks.
    int Access(MHD_Connection* connection, const char* url, const char* method, const char* version,
               const char* upload, std::size_t* uploadSize, void** context);
    void Completed(MHD_Connection* connection, void** context, int how);
    void Connected(MHD_Connection* connection, void** context, bool started);

  private:
    // A connection accepted and not yet the engine's: until its first bytes tell what the
    // client speaks and whether its first head breaks the rules, or while it is told why not.
    struct Arrival;
    // The port is ours to listen at: a connection is admitted or turned away before the
    // engine has it, and a TLS port can answer a plain HTTP client in plain HTTP.
    void AcceptLoop();
    void Arrive(platform::TcpConnection connection, std::vector<Arrival>& waiting);
    // Whether the arrival is done with (handed on or closed).
    bool Look(Arrival& arrival);
    void Hand(platform::TcpConnection connection, Peer* peer);
    // A connection closed: it no longer counts.
    void Forget(Peer* peer);
    // Whether a connection of remote may be had now; why not otherwise.
    std::string Admit(const std::string& remote);
    bool Evict();
    void Prove(Peer& peer);
    // Whether the file reply may go now; if not its connection is suspended until a reply
    // under way ends.
    bool TakeTurn(MHD_Connection* connection, Call& call);
    void EndTurn();
    int Answer(MHD_Connection* connection, Call& call);
    int Refuse(MHD_Connection* connection, Call& call, const HttpResponse& refusal);
    // The engine's timeout is for a connection on which nothing moves; one that keeps sending
    // a byte now and then is cut here once its first head (handshake included) is overdue.
    // File replies under way are told of here too, however long they take.
    void Sweep();

    HttpSite site_;
    Limits limits_;
    std::shared_ptr<const ServerTls> tls_;
    MHD_Daemon* daemon_ = nullptr;
    int port_ = 0;
    platform::TcpListener listener_;
    platform::WakeUp wake_;
    std::thread acceptor_;

    std::mutex mutex_;  // the engine's threads share what follows
    std::set<Peer*> peers_;
    std::map<int, Peer*> handed_;  // by socket, until the engine tells of the connection
    bool accepting_ = false;
    std::size_t filesSending_ = 0;
    std::deque<std::pair<MHD_Connection*, Call*>> parked_;  // file replies waiting their turn
    std::set<Call*> sending_;  // file replies under way, told of by the sweeper
    std::map<std::string, std::size_t> perAddress_;
    std::map<std::string, std::size_t> unprovenAt_;
    std::size_t open_ = 0;
    std::size_t unproven_ = 0;
    std::uint64_t accepted_ = 0;
    std::set<std::string> evictedFrom_;  // told of in the log
    std::set<std::string> turnedAway_;   // told of in the log already
    bool sweeping_ = false;
    std::condition_variable sweepWake_;
    std::thread sweeper_;
};

}  // namespace share
