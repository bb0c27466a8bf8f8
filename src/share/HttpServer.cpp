#include "share/HttpServer.h"

#include <algorithm>
#include <cctype>
#include <tuple>

#include "platform/HandleWaits.h"

namespace share {
namespace {

using Clock = std::chrono::steady_clock;

// After a refusal the client may still be sending; what comes is read and dropped for a while,
// so that the refusal reaches it rather than a reset.
constexpr std::chrono::milliseconds kLinger{2000};

// Connections accepted in one round, before the heads of those accepted are read: a flood of
// newcomers cannot push out one whose head has come before it was looked at.
constexpr int kAcceptsPerRound = 32;

// What a client turned away for want of room is told to wait before it tries again.
constexpr const char* kRetryAfter = "5";

// Clients turned away that are being told so (through TLS, once their handshake is done) at one
// time; one beyond them is closed unanswered. Each is told within kLinger or closed.
constexpr std::size_t kLeavingMost = 64;

int MillisecondsUntil(Clock::time_point t) {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(t - Clock::now()).count();
    return static_cast<int>(std::clamp<long long>(ms, 0, 1000));
}

}  // namespace

struct HttpServer::Connection {
    platform::TcpConnection socket;
    std::unique_ptr<TlsSession> tls;  // null: plain HTTP
    bool handshaking = false;         // TLS whose handshake is not done
    bool heard = false;               // its first byte has come
    std::string buffer;               // the head so far, or what came after the last body
    Clock::time_point deadline;
    bool closing = false;      // refused or done: the write side is shut, what comes is dropped
    bool fresh = false;        // back from a worker: its buffer may hold a whole head already
    std::uint64_t serial = 0;  // in the order of accepts
    bool proven = false;       // a request of it has passed the gate
    bool inBody = false;       // request's head is admitted; its body is being read
    std::size_t bodyLength = 0;
    HttpRequest request;  // while inBody

    long long Receive(char* data, std::size_t size) {
        return tls ? tls->Receive(data, size) : socket.Receive(data, size);
    }
    long long Send(const char* data, std::size_t size) {
        return tls ? tls->Send(data, size) : socket.Send(data, size);
    }
    // Bytes that TLS holds already decrypted: no wait on the socket announces them.
    bool Pending() const { return tls && !handshaking && tls->Pending(); }
    // What TLS waits for may be room to write, even to read on.
    bool WaitsToWrite() const { return tls && tls->WantsWrite(); }
    // Waits up to ms for what a read (or, writing, a write) that could not go on waits for.
    bool Wait(bool writing, int ms) const {
        return (tls ? tls->WantsWrite() : writing) ? platform::WaitWritable(socket.handle(), ms)
                                                   : platform::WaitReadable(socket.handle(), ms);
    }
    void ShutdownWrite() {
        if (tls)
            tls->Shutdown();
        socket.ShutdownWrite();
    }
};

namespace {

// A worker's side of a connection: blocking reads and writes with deadlines, in short waits so
// that a Stop is seen.
class SocketStream : public HttpStream {
  public:
    SocketStream(HttpServer::Connection& c, const std::atomic<bool>& stopping,
                 std::chrono::milliseconds stall)
        : c_(c), stopping_(stopping), stall_(stall) {}
    std::size_t Read(char* data, std::size_t size, Clock::time_point deadline) override {
        while (!stopping_ && Clock::now() < deadline) {
            if (!c_.Pending() && !c_.Wait(false, std::min(MillisecondsUntil(deadline), 200)))
                continue;
            const long long n = c_.Receive(data, size);
            if (n > 0)
                return static_cast<std::size_t>(n);
            if (n != platform::TcpConnection::kNotNow)
                return 0;
        }
        return 0;
    }
    bool Write(std::string_view bytes) override {
        auto moved = Clock::now();
        while (!bytes.empty()) {
            if (stopping_)
                return false;  // a long download must not hold up Stop
            const long long n = c_.Send(bytes.data(), bytes.size());
            if (n > 0) {
                bytes.remove_prefix(static_cast<std::size_t>(n));
                moved = Clock::now();
                continue;
            }
            if (n < 0 && n != platform::TcpConnection::kNotNow)
                return false;
            if (Clock::now() - moved > stall_)
                return false;
            c_.Wait(true, 200);
        }
        return true;
    }

    // Through TLS the bytes must pass the process to be encrypted.
    bool SendsFiles() const override { return !c_.tls; }
    bool SendFile(platform::File& file, unsigned long long offset, std::size_t size) override {
        auto moved = Clock::now();
        while (size > 0) {
            if (stopping_)
                return false;
            bool wouldBlock = false;
            const long long n = file.SendTo(c_.socket.handle(), offset, size, &wouldBlock);
            if (n > 0) {
                offset += static_cast<unsigned long long>(n);
                size -= static_cast<std::size_t>(n);
                moved = Clock::now();
                continue;
            }
            if (!wouldBlock || Clock::now() - moved > stall_)
                return false;
            platform::WaitWritable(c_.socket.handle(), 200);
        }
        return true;
    }

  private:
    HttpServer::Connection& c_;
    const std::atomic<bool>& stopping_;
    std::chrono::milliseconds stall_;
};

// The reading thread's side of a connection, for a refusal: what the socket takes now, without
// waiting. A short reply fits its buffer; if not, the client loses nothing it could use.
class RefusalStream : public HttpStream {
  public:
    explicit RefusalStream(HttpServer::Connection& c) : c_(c) {}
    std::size_t Read(char*, std::size_t, Clock::time_point) override { return 0; }
    bool Write(std::string_view bytes) override {
        return c_.Send(bytes.data(), bytes.size()) == static_cast<long long>(bytes.size());
    }

  private:
    HttpServer::Connection& c_;
};

}  // namespace

struct HttpServer::Work {
    std::unique_ptr<Connection> c;
    HttpRequest req;
};

HttpServer::HttpServer(HttpSite site, Limits limits, std::shared_ptr<const ServerTls> tls)
    : site_(std::move(site)), limits_(limits), tls_(std::move(tls)) {}

HttpServer::~HttpServer() {
    Stop();
}

platform::Outcome HttpServer::Start(const std::string& host, int port) {
    if (!listen_.Listen(host, port) || !wake_.Open()) {
        listen_.Close();
        return platform::Error{platform::Error::Kind::kFailed,
                               "cannot listen at " + host + ":" + std::to_string(port),
                               {}};
    }
    port_ = listen_.port();
    reader_ = std::thread([this] { ReadHeads(); });
    const int kept = std::clamp(limits_.keptForQuick, 0, limits_.workers - 1);
    for (int i = 0; i < limits_.workers; ++i)
        workers_.emplace_back([this, quick = i < kept] { Answer(quick); });
    return platform::Succeeded();
}

void HttpServer::Stop() {
    stopping_ = true;
    Wake();
    ready_.notify_all();
    if (reader_.joinable())
        reader_.join();
    for (auto& w : workers_)
        w.join();
    workers_.clear();
    for (auto& c : returned_)
        Close(std::move(c));
    returned_.clear();
    for (auto* queue : {&work_, &lengthy_}) {
        for (auto& w : *queue)
            Close(std::move(w->c));
        queue->clear();
    }
    listen_.Close();
    wake_.Close();
}

void HttpServer::Wake() {
    wake_.Wake();
}

void HttpServer::ReadHeads() {
    std::vector<std::unique_ptr<Connection>> reading;
    // Turned away, and being told so: counted nowhere, as they hold no place.
    std::vector<std::unique_ptr<Connection>> leaving;
    platform::HandleWaits waits;
    while (!stopping_) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            for (auto& c : returned_)
                reading.push_back(std::move(c));
            returned_.clear();
        }
        for (auto& c : reading) {
            if (c && c->fresh) {
                c->fresh = false;
                Examine(c);
            }
        }
        std::erase(reading, nullptr);

        int timeout = 1000;
        waits.Clear();
        waits.Add(wake_.handle());
        // Even when full: a newcomer may take the place of a connection that sent nothing, or
        // is told to come back.
        waits.Add(listen_.handle());
        for (const auto& c : reading) {
            waits.Add(c->socket.handle(), c->WaitsToWrite());
            timeout = std::min(timeout, c->Pending() ? 0 : MillisecondsUntil(c->deadline));
        }
        const std::size_t firstLeaving = reading.size() + 2;
        for (const auto& c : leaving) {
            waits.Add(c->socket.handle(), c->WaitsToWrite());
            timeout = std::min(timeout, MillisecondsUntil(c->deadline));
        }
        waits.Wait(timeout);
        if (waits.Stirred(0))
            wake_.Drain();
        const auto now = Clock::now();
        for (std::size_t i = 0; i < reading.size(); ++i) {
            auto& c = reading[i];
            if (waits.Stirred(i + 2) || c->Pending()) {
                if (!Receive(*c))
                    Close(std::move(c));
                else if (!c->closing)
                    Examine(c);
            } else if (now >= c->deadline) {
                // A head begun and not ended in time is told so; an idle connection just ends,
                // as does one whose body has not all come.
                if (c->inBody && !c->closing && site_.log)
                    site_.log(
                        {c->request.remote, &c->request, 0, 0, false, "its body did not arrive"});
                if (!c->closing && !c->inBody && !c->buffer.empty())
                    Refuse(*c, 408, "the request head did not arrive in time");
                else
                    Close(std::move(c));
            }
        }
        std::erase(reading, nullptr);
        for (std::size_t i = 0; i < leaving.size(); ++i) {
            auto& c = leaving[i];
            if ((waits.Stirred(firstLeaving + i) && !Depart(*c)) || now >= c->deadline)
                c.reset();
        }
        std::erase(leaving, nullptr);
        if (waits.Readable(1))
            Accept(reading, leaving);
    }
    for (auto& c : reading)
        Close(std::move(c));
}

void HttpServer::Accept(std::vector<std::unique_ptr<Connection>>& reading,
                        std::vector<std::unique_ptr<Connection>>& leaving) {
    for (int round = 0; round < kAcceptsPerRound; ++round) {
        platform::TcpConnection socket = listen_.Accept();
        if (!socket.IsOpen())
            return;
        const std::string remote = socket.remote();
        // Beyond its share an address is turned away at once: a few connections serve any
        // rightful client, and the rest must not take the descriptors of others.
        const auto held = perAddress_.find(remote);
        if (held != perAddress_.end() && held->second >= limits_.perAddress) {
            TurnAway(socket, "too many connections from this address", leaving);
            continue;
        }
        // Connections that sent nothing the gate let by must not keep out one that will.
        if ((open_ >= limits_.connections || unproven_ >= limits_.unproven) && !Evict(reading)) {
            TurnAway(socket, "the server holds all the connections it may", leaving);
            continue;
        }
        ++open_;
        ++unproven_;
        ++unprovenAt_[remote];
        ++perAddress_[remote];
        auto c = std::make_unique<Connection>();
        c->socket = std::move(socket);
        c->serial = ++accepted_;
        // The handshake is part of the first head: its deadline bounds them both.
        c->deadline = Clock::now() + limits_.headTime;
        if (tls_) {
            c->tls = std::make_unique<TlsSession>(*tls_, c->socket.handle());
            c->handshaking = true;
        }
        reading.push_back(std::move(c));
    }
}

bool HttpServer::Evict(std::vector<std::unique_ptr<Connection>>& reading) {
    // One that is done with goes first; then one of the address that holds the most
    // connections without a request, so that a flood from a few addresses cannot push out a
    // client that has just connected; and of those the oldest.
    std::unique_ptr<Connection>* chosen = nullptr;
    auto rank = [this](const Connection& c) {
        const auto held = unprovenAt_.find(c.socket.remote());
        return std::tuple(c.closing, c.proven || held == unprovenAt_.end() ? 0 : held->second,
                          ~c.serial);
    };
    for (auto& c : reading)
        if (c && (!c->proven || c->closing) && (!chosen || rank(*c) > rank(**chosen)))
            chosen = &c;
    if (!chosen)
        return false;
    const std::string remote = (*chosen)->socket.remote();
    // Said once for an address until one of its connections brings a request; one that was
    // done with already ends unsaid.
    if (evictedFrom_.size() > 1024)
        evictedFrom_.clear();
    if (site_.log && !(*chosen)->closing && evictedFrom_.insert(remote).second)
        site_.log({remote, nullptr, 0, 0, false,
                   "closed for a newcomer: the server was full, and it had sent no request"});
    Close(std::move(*chosen));
    return true;
}

void HttpServer::TurnAway(platform::TcpConnection& socket, const std::string& why,
                          std::vector<std::unique_ptr<Connection>>& leaving) {
    const std::string& remote = socket.remote();
    // Said once until the address is below its share again, not once a connection.
    if (site_.log && turnedAway_.insert(remote).second)
        site_.log({remote, nullptr, 0, 0, false, "turned away: " + why});
    if (leaving.size() >= kLeavingMost)
        return;  // closed unanswered: telling more would cost the rightful clients' time
    auto c = std::make_unique<Connection>();
    c->socket = std::move(socket);
    c->deadline = Clock::now() + kLinger;
    c->buffer = HeadRefusal(503, why + "; try again later", {{"Retry-After", kRetryAfter}});
    // Through TLS the refusal waits for the handshake, which this thread drives as it does
    // every other; plain, it goes at once.
    if (tls_) {
        c->tls = std::make_unique<TlsSession>(*tls_, c->socket.handle());
        c->handshaking = true;
    } else if (!Depart(*c)) {
        return;
    }
    leaving.push_back(std::move(c));
}

bool HttpServer::Depart(Connection& c) {
    if (c.handshaking) {
        const int step = c.tls->Handshake();
        if (step <= 0)
            return step == 0;
        c.handshaking = false;
    }
    if (!c.closing) {
        // A short reply fits the socket's buffer; if not, the client loses nothing it could use.
        c.Send(c.buffer.data(), c.buffer.size());
        c.buffer.clear();
        c.ShutdownWrite();
        c.closing = true;
    }
    // What the client sends meanwhile is dropped, so that the close does not reset the
    // connection before the reply is read.
    char sink[4096];
    for (int round = 0; round < 4; ++round) {
        const long long n = c.Receive(sink, sizeof sink);
        if (n == 0)
            return false;
        if (n < 0)
            return n == platform::TcpConnection::kNotNow;
    }
    return true;
}

bool HttpServer::Handshake(Connection& c) {
    // A client that speaks plain HTTP to a TLS port is told so in plain HTTP; anything else
    // that begins with no TLS handshake record is dropped.
    char first = 0x16;
    if (!c.heard) {
        const long long peeked = c.socket.Peek(&first, 1);
        if (peeked <= 0)
            return peeked == platform::TcpConnection::kNotNow;
        c.heard = true;
    }
    if (first != 0x16) {
        c.tls.reset();
        c.handshaking = false;
        if (!std::isupper(static_cast<unsigned char>(first)))
            return false;
        Refuse(c, 400, "this port speaks HTTPS only: ask for https://");
        return true;
    }
    const int step = c.tls->Handshake();
    if (step == 1)
        c.handshaking = false;
    return step >= 0;
}

bool HttpServer::Receive(Connection& c) {
    if (c.handshaking) {
        if (!Handshake(c))
            return false;
        // Under way still, or refused; once done, what came with its end is read at once.
        if (c.handshaking || c.closing)
            return true;
    }
    char buffer[4096];
    // Bounded per call, so that one fast sender does not keep the others waiting.
    for (int round = 0; round < 16; ++round) {
        const long long n = c.Receive(buffer, sizeof buffer);
        if (n == 0)
            return false;
        if (n < 0)
            return n == platform::TcpConnection::kNotNow;
        if (!c.closing)
            c.buffer.append(buffer, static_cast<std::size_t>(n));
        // Past the largest head there is no need to read on: Examine refuses it. Past the
        // body, what comes is the next request's.
        if (c.buffer.size() > (c.inBody ? c.bodyLength : site_.limits.headBytes))
            return true;
    }
    return true;
}

void HttpServer::Examine(std::unique_ptr<Connection>& c) {
    if (c->inBody)
        return TakeBody(c);
    // A TLS handshake on a plain HTTP port: the client is told in plain HTTP.
    if (!c->tls && !c->buffer.empty() && c->buffer[0] == 0x16)
        return Refuse(*c, 400, "this port speaks plain HTTP, not HTTPS");
    std::string problem;
    const std::size_t end = HeadEnd(c->buffer, site_.limits, &problem);
    if (!problem.empty())
        return Refuse(*c, 431, problem);
    if (end == 0)
        return;
    HttpRequest req;
    req.remote = c->socket.remote();
    int status = 0;
    if (!ParseHead(std::string_view(c->buffer).substr(0, end), site_.limits, req, &status,
                   &problem))
        return Refuse(*c, status, problem);
    c->buffer.erase(0, end);
    // The gate is asked here, so that a request it refuses takes no worker and has no body read.
    HttpResponse refusal;
    std::size_t length = 0;
    if (!AdmitRequest(site_, req, refusal, &length)) {
        RefusalStream io(*c);
        SendRefusal(site_, req, refusal, io);
        return Linger(*c);
    }
    if (!c->proven)
        Prove(*c);
    // The body is read here too, under a deadline of its own: one that comes slowly holds no
    // worker.
    c->request = std::move(req);
    c->bodyLength = length;
    c->inBody = true;
    c->deadline = Clock::now() + site_.bodyTime;
    TakeBody(c);
}

void HttpServer::TakeBody(std::unique_ptr<Connection>& c) {
    if (c->buffer.size() < c->bodyLength)
        return;
    auto work = std::make_unique<Work>();
    work->req = std::move(c->request);
    work->req.body.assign(c->buffer, 0, c->bodyLength);
    c->buffer.erase(0, c->bodyLength);
    c->inBody = false;
    c->request = HttpRequest{};
    work->c = std::move(c);
    const bool lengthy = site_.lengthy && site_.lengthy(work->req);
    std::lock_guard<std::mutex> lock(mutex_);
    (lengthy ? lengthy_ : work_).push_back(std::move(work));
    ready_.notify_all();
}

void HttpServer::Refuse(Connection& c, int status, const std::string& why) {
    if (site_.log)
        site_.log({c.socket.remote(), nullptr, status, 0, true, why});
    const std::string reply = HeadRefusal(status, why);
    // A short reply fits the socket's buffer; if not, the client loses nothing it could use.
    c.Send(reply.data(), reply.size());
    Linger(c);
}

void HttpServer::Linger(Connection& c) {
    c.ShutdownWrite();
    c.closing = true;
    c.inBody = false;
    c.buffer.clear();
    c.deadline = Clock::now() + kLinger;
}

void HttpServer::Prove(Connection& c, bool closing) {
    c.proven = true;
    --unproven_;
    const std::string& remote = c.socket.remote();
    if (auto at = unprovenAt_.find(remote); at != unprovenAt_.end() && --at->second == 0)
        unprovenAt_.erase(at);
    if (!closing)
        evictedFrom_.erase(remote);
}

void HttpServer::Close(std::unique_ptr<Connection> c) {
    if (!c->proven)
        Prove(*c, true);
    --open_;
    auto at = perAddress_.find(c->socket.remote());
    if (at != perAddress_.end() && --at->second == 0)
        perAddress_.erase(at);
    turnedAway_.erase(c->socket.remote());
}

void HttpServer::Answer(bool quickOnly) {
    for (;;) {
        std::unique_ptr<Work> work;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            ready_.wait(lock, [&] {
                return stopping_ || !work_.empty() || (!quickOnly && !lengthy_.empty());
            });
            if (stopping_)
                return;
            auto& queue = !work_.empty() ? work_ : lengthy_;
            work = std::move(queue.front());
            queue.pop_front();
        }
        SocketStream io(*work->c, stopping_, limits_.writeStall);
        bool keepAlive = false;
        try {
            keepAlive = AnswerAdmitted(site_, work->req, io);
        } catch (const std::exception& e) {
            keepAlive = false;  // the reply is cut short; the server goes on
            if (site_.log)
                site_.log({work->req.remote, &work->req, 500, 0, false,
                           std::string("the server failed while answering: ") + e.what()});
        }
        GiveBack(std::move(work->c), keepAlive);
    }
}

void HttpServer::GiveBack(std::unique_ptr<Connection> c, bool keepAlive) {
    if (keepAlive) {
        c->deadline = Clock::now() + limits_.headTime;
        c->fresh = true;
    } else {
        Linger(*c);
    }
    std::lock_guard<std::mutex> lock(mutex_);
    returned_.push_back(std::move(c));
    Wake();
}

}  // namespace share
