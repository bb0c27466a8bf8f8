#include "share/HttpServer.h"

#include <algorithm>

#include "platform/HandleWaits.h"

namespace share {
namespace {

using Clock = std::chrono::steady_clock;

// After a refusal the client may still be sending; what comes is read and dropped for a while,
// so that the refusal reaches it rather than a reset.
constexpr std::chrono::milliseconds kLinger{2000};

int MillisecondsUntil(Clock::time_point t) {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(t - Clock::now()).count();
    return static_cast<int>(std::clamp<long long>(ms, 0, 1000));
}

// A worker's side of a connection: blocking reads and writes with deadlines, in short waits so
// that a Stop is seen.
class SocketStream : public HttpStream {
  public:
    SocketStream(platform::TcpConnection& socket, const std::atomic<bool>& stopping,
                 std::chrono::milliseconds stall)
        : socket_(socket), stopping_(stopping), stall_(stall) {}
    std::size_t Read(char* data, std::size_t size, Clock::time_point deadline) override {
        while (!stopping_ && Clock::now() < deadline) {
            if (!platform::WaitReadable(socket_.handle(),
                                        std::min(MillisecondsUntil(deadline), 200)))
                continue;
            const long long n = socket_.Receive(data, size);
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
            const long long n = socket_.Send(bytes.data(), bytes.size());
            if (n > 0) {
                bytes.remove_prefix(static_cast<std::size_t>(n));
                moved = Clock::now();
                continue;
            }
            if (n < 0 && n != platform::TcpConnection::kNotNow)
                return false;
            if (Clock::now() - moved > stall_)
                return false;
            platform::WaitWritable(socket_.handle(), 200);
        }
        return true;
    }

    bool SendsFiles() const override { return true; }
    bool SendFile(platform::File& file, unsigned long long offset, std::size_t size) override {
        auto moved = Clock::now();
        while (size > 0) {
            if (stopping_)
                return false;
            bool wouldBlock = false;
            const long long n = file.SendTo(socket_.handle(), offset, size, &wouldBlock);
            if (n > 0) {
                offset += static_cast<unsigned long long>(n);
                size -= static_cast<std::size_t>(n);
                moved = Clock::now();
                continue;
            }
            if (!wouldBlock || Clock::now() - moved > stall_)
                return false;
            platform::WaitWritable(socket_.handle(), 200);
        }
        return true;
    }

  private:
    platform::TcpConnection& socket_;
    const std::atomic<bool>& stopping_;
    std::chrono::milliseconds stall_;
};

}  // namespace

struct HttpServer::Connection {
    platform::TcpConnection socket;
    std::string buffer;  // the head so far, or what came after the last body
    Clock::time_point deadline;
    bool closing = false;  // refused or done: the write side is shut, what comes is dropped
    bool fresh = false;    // back from a worker: its buffer may hold a whole head already
};

struct HttpServer::Work {
    std::unique_ptr<Connection> c;
    HttpRequest req;
};

HttpServer::HttpServer(HttpSite site, Limits limits) : site_(std::move(site)), limits_(limits) {}

HttpServer::~HttpServer() {
    Stop();
}

bool HttpServer::Start(const std::string& host, int port, std::string* why) {
    if (!listen_.Listen(host, port) || !wake_.Open()) {
        listen_.Close();
        if (why)
            *why = "cannot listen on " + host + ":" + std::to_string(port);
        return false;
    }
    port_ = listen_.port();
    reader_ = std::thread([this] { ReadHeads(); });
    const int kept = std::clamp(limits_.keptForQuick, 0, limits_.workers - 1);
    for (int i = 0; i < limits_.workers; ++i)
        workers_.emplace_back([this, quick = i < kept] { Answer(quick); });
    return true;
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
        waits.Add(open_ < limits_.connections ? listen_.handle() : -1);
        for (const auto& c : reading) {
            waits.Add(c->socket.handle());
            timeout = std::min(timeout, MillisecondsUntil(c->deadline));
        }
        waits.Wait(timeout);
        if (waits.Stirred(0))
            wake_.Drain();
        const auto now = Clock::now();
        for (std::size_t i = 0; i < reading.size(); ++i) {
            auto& c = reading[i];
            if (waits.Stirred(i + 2)) {
                if (!Receive(*c))
                    Close(std::move(c));
                else if (!c->closing)
                    Examine(c);
            } else if (now >= c->deadline) {
                // A head begun and not ended in time is told so; an idle connection just ends.
                if (!c->closing && !c->buffer.empty())
                    Refuse(*c, 408, "the request head did not arrive in time");
                else
                    Close(std::move(c));
            }
        }
        std::erase(reading, nullptr);
        if (waits.Readable(1))
            Accept(reading);
    }
    for (auto& c : reading)
        Close(std::move(c));
}

void HttpServer::Accept(std::vector<std::unique_ptr<Connection>>& reading) {
    for (;;) {
        platform::TcpConnection socket = listen_.Accept();
        if (!socket.IsOpen())
            return;
        const std::string& remote = socket.remote();
        // Beyond its share an address is turned away at once: a few connections serve any
        // rightful client, and the rest must not take the descriptors of others.
        if (open_ >= limits_.connections || perAddress_[remote] >= limits_.perAddress) {
            if (perAddress_[remote] == 0)
                perAddress_.erase(remote);
            // Said once until the address is below its share again, not once a connection.
            if (site_.log && turnedAway_.insert(remote).second)
                site_.log({remote, nullptr, 0, 0, false,
                           open_ >= limits_.connections
                               ? "turned away: the server holds all the connections it may"
                               : "turned away: too many connections from this address"});
            continue;
        }
        ++open_;
        ++perAddress_[remote];
        auto c = std::make_unique<Connection>();
        c->socket = std::move(socket);
        c->deadline = Clock::now() + limits_.headTime;
        reading.push_back(std::move(c));
    }
}

bool HttpServer::Receive(Connection& c) {
    char buffer[4096];
    // Bounded per call, so that one fast sender does not keep the others waiting.
    for (int round = 0; round < 16; ++round) {
        const long long n = c.socket.Receive(buffer, sizeof buffer);
        if (n == 0)
            return false;
        if (n < 0)
            return n == platform::TcpConnection::kNotNow;
        if (!c.closing)
            c.buffer.append(buffer, static_cast<std::size_t>(n));
        // Past the largest head there is no need to read on: Examine refuses it.
        if (c.buffer.size() > site_.limits.headBytes)
            return true;
    }
    return true;
}

void HttpServer::Examine(std::unique_ptr<Connection>& c) {
    std::string problem;
    const std::size_t end = HeadEnd(c->buffer, site_.limits, &problem);
    if (!problem.empty())
        return Refuse(*c, 431, problem);
    if (end == 0)
        return;
    auto work = std::make_unique<Work>();
    work->req.remote = c->socket.remote();
    int status = 0;
    if (!ParseHead(std::string_view(c->buffer).substr(0, end), site_.limits, work->req, &status,
                   &problem))
        return Refuse(*c, status, problem);
    c->buffer.erase(0, end);
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
    c.socket.Send(reply.data(), reply.size());
    c.socket.ShutdownWrite();
    c.closing = true;
    c.buffer.clear();
    c.deadline = Clock::now() + kLinger;
}

void HttpServer::Close(std::unique_ptr<Connection> c) {
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
        SocketStream io(work->c->socket, stopping_, limits_.writeStall);
        bool keepAlive = false;
        try {
            keepAlive = AnswerRequest(site_, work->req, work->c->buffer, io);
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
        c->socket.ShutdownWrite();
        c->closing = true;
        c->buffer.clear();
        c->deadline = Clock::now() + kLinger;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    returned_.push_back(std::move(c));
    Wake();
}

}  // namespace share
