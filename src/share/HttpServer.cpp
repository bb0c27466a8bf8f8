#include "share/HttpServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace share {
namespace {

using Clock = std::chrono::steady_clock;

// After a refusal the client may still be sending; what comes is read and dropped for a while,
// so that the refusal reaches it rather than a reset.
constexpr std::chrono::milliseconds kLinger{2000};

void NonBlocking(int fd) {
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    ::fcntl(fd, F_SETFD, FD_CLOEXEC);
}

std::string Address(const sockaddr_storage& a) {
    char text[INET6_ADDRSTRLEN] = "";
    if (a.ss_family == AF_INET)
        ::inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in&>(a).sin_addr, text, sizeof text);
    else if (a.ss_family == AF_INET6)
        ::inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6&>(a).sin6_addr, text,
                    sizeof text);
    return text;
}

int MillisecondsUntil(Clock::time_point t) {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(t - Clock::now()).count();
    return static_cast<int>(std::clamp<long long>(ms, 0, 1000));
}

// A worker's side of a connection: blocking reads and writes with deadlines, in short waits so
// that a Stop is seen.
class SocketStream : public HttpStream {
  public:
    SocketStream(int fd, const std::atomic<bool>& stopping, std::chrono::milliseconds stall)
        : fd_(fd), stopping_(stopping), stall_(stall) {}
    std::size_t Read(char* data, std::size_t size, Clock::time_point deadline) override {
        while (!stopping_ && Clock::now() < deadline) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, std::min(MillisecondsUntil(deadline), 200)) <= 0)
                continue;
            const ssize_t n = ::recv(fd_, data, size, 0);
            if (n > 0)
                return static_cast<std::size_t>(n);
            if (n == 0 || (errno != EAGAIN && errno != EINTR))
                return 0;
        }
        return 0;
    }
    bool Write(std::string_view bytes) override {
        auto moved = Clock::now();
        while (!bytes.empty()) {
            if (stopping_)
                return false;  // a long download must not hold up Stop
            const ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            if (n > 0) {
                bytes.remove_prefix(static_cast<std::size_t>(n));
                moved = Clock::now();
                continue;
            }
            if (n < 0 && errno != EAGAIN && errno != EINTR)
                return false;
            if (Clock::now() - moved > stall_)
                return false;
            pollfd p{fd_, POLLOUT, 0};
            ::poll(&p, 1, 200);
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
            const long long n = file.SendTo(fd_, offset, size, &wouldBlock);
            if (n > 0) {
                offset += static_cast<unsigned long long>(n);
                size -= static_cast<std::size_t>(n);
                moved = Clock::now();
                continue;
            }
            if (!wouldBlock || Clock::now() - moved > stall_)
                return false;
            pollfd p{fd_, POLLOUT, 0};
            ::poll(&p, 1, 200);
        }
        return true;
    }

  private:
    int fd_;
    const std::atomic<bool>& stopping_;
    std::chrono::milliseconds stall_;
};

}  // namespace

struct HttpServer::Connection {
    int fd = -1;
    std::string remote;
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
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    if (::getaddrinfo(host.empty() ? nullptr : host.c_str(), service.c_str(), &hints, &found) ==
            0 &&
        found) {
        listen_ = ::socket(found->ai_family, found->ai_socktype, found->ai_protocol);
        const int yes = 1;
        ::setsockopt(listen_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        if (listen_ >= 0 && (::bind(listen_, found->ai_addr, found->ai_addrlen) != 0 ||
                             ::listen(listen_, SOMAXCONN) != 0)) {
            ::close(listen_);
            listen_ = -1;
        }
        ::freeaddrinfo(found);
    }
    sockaddr_storage bound{};
    socklen_t length = sizeof bound;
    if (listen_ < 0 || ::getsockname(listen_, reinterpret_cast<sockaddr*>(&bound), &length) != 0 ||
        ::pipe(wake_) != 0) {
        if (why)
            *why = "cannot listen on " + host + ":" + std::to_string(port);
        return false;
    }
    port_ = ntohs(bound.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6&>(bound).sin6_port
                                              : reinterpret_cast<sockaddr_in&>(bound).sin_port);
    NonBlocking(listen_);
    NonBlocking(wake_[0]);
    NonBlocking(wake_[1]);
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
    for (int* fd : {&listen_, &wake_[0], &wake_[1]}) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
}

void HttpServer::Wake() {
    if (wake_[1] >= 0) {
        const char byte = 0;
        [[maybe_unused]] const ssize_t n = ::write(wake_[1], &byte, 1);
    }
}

void HttpServer::ReadHeads() {
    std::vector<std::unique_ptr<Connection>> reading;
    std::vector<pollfd> fds;
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
        fds.assign({pollfd{wake_[0], POLLIN, 0},
                    pollfd{open_ < limits_.connections ? listen_ : -1, POLLIN, 0}});
        for (const auto& c : reading) {
            fds.push_back(pollfd{c->fd, POLLIN, 0});
            timeout = std::min(timeout, MillisecondsUntil(c->deadline));
        }
        ::poll(fds.data(), fds.size(), timeout);
        if (fds[0].revents) {
            char drain[256];
            while (::read(wake_[0], drain, sizeof drain) > 0) {
            }
        }
        const auto now = Clock::now();
        for (std::size_t i = 0; i < reading.size(); ++i) {
            auto& c = reading[i];
            if (fds[i + 2].revents) {
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
        if (fds[1].revents & POLLIN)
            Accept(reading);
    }
    for (auto& c : reading)
        Close(std::move(c));
}

void HttpServer::Accept(std::vector<std::unique_ptr<Connection>>& reading) {
    for (;;) {
        sockaddr_storage from{};
        socklen_t length = sizeof from;
        const int fd = ::accept(listen_, reinterpret_cast<sockaddr*>(&from), &length);
        if (fd < 0)
            return;
        const std::string remote = Address(from);
        // Beyond its share an address is turned away at once: a few connections serve any
        // rightful client, and the rest must not take the descriptors of others.
        if (open_ >= limits_.connections || perAddress_[remote] >= limits_.perAddress) {
            ::close(fd);
            if (perAddress_[remote] == 0)
                perAddress_.erase(remote);
            continue;
        }
        NonBlocking(fd);
        const int yes = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
        ++open_;
        ++perAddress_[remote];
        auto c = std::make_unique<Connection>();
        c->fd = fd;
        c->remote = remote;
        c->deadline = Clock::now() + limits_.headTime;
        reading.push_back(std::move(c));
    }
}

bool HttpServer::Receive(Connection& c) {
    char buffer[4096];
    // Bounded per call, so that one fast sender does not keep the others waiting.
    for (int round = 0; round < 16; ++round) {
        const ssize_t n = ::recv(c.fd, buffer, sizeof buffer, 0);
        if (n == 0)
            return false;
        if (n < 0)
            return errno == EAGAIN || errno == EINTR;
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
    work->req.remote = c->remote;
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
    const std::string reply = HeadRefusal(status, why);
    // A short reply fits the socket's buffer; if not, the client loses nothing it could use.
    [[maybe_unused]] const ssize_t n = ::send(c.fd, reply.data(), reply.size(), MSG_NOSIGNAL);
    ::shutdown(c.fd, SHUT_WR);
    c.closing = true;
    c.buffer.clear();
    c.deadline = Clock::now() + kLinger;
}

void HttpServer::Close(std::unique_ptr<Connection> c) {
    ::close(c->fd);
    --open_;
    auto at = perAddress_.find(c->remote);
    if (at != perAddress_.end() && --at->second == 0)
        perAddress_.erase(at);
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
        SocketStream io(work->c->fd, stopping_, limits_.writeStall);
        bool keepAlive = false;
        try {
            keepAlive = AnswerRequest(site_, work->req, work->c->buffer, io);
        } catch (const std::exception&) {
            keepAlive = false;  // the reply is cut short; the server goes on
        }
        GiveBack(std::move(work->c), keepAlive);
    }
}

void HttpServer::GiveBack(std::unique_ptr<Connection> c, bool keepAlive) {
    if (keepAlive) {
        c->deadline = Clock::now() + limits_.headTime;
        c->fresh = true;
    } else {
        ::shutdown(c->fd, SHUT_WR);
        c->closing = true;
        c->buffer.clear();
        c->deadline = Clock::now() + kLinger;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    returned_.push_back(std::move(c));
    Wake();
}

}  // namespace share
