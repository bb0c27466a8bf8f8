#pragma once
// A loopback TCP proxy in front of a server that cuts the first file download short: after
// `dropAfter` bytes of its reply both sides are closed, as a network that fails would. Every
// later connection passes whole. It notes whether a request asked for a range.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class DroppingProxy {
  public:
    DroppingProxy(int targetPort, long long dropAfter)
        : target_(targetPort), dropAfter_(dropAfter) {
        listen_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(listen_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(listen_, 16);
        socklen_t len = sizeof a;
        ::getsockname(listen_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
        acceptor_ = std::thread([this] { Accept(); });
    }
    ~DroppingProxy() {
        stop_ = true;
        ::shutdown(listen_, SHUT_RDWR);
        ::close(listen_);
        acceptor_.join();
        std::lock_guard<std::mutex> lock(m_);
        for (auto& t : pipes_)
            t.join();
    }
    int port() const { return port_; }
    bool dropped() const { return dropped_; }
    bool sawRange() const { return sawRange_; }

  private:
    void Accept() {
        for (;;) {
            const int in = ::accept(listen_, nullptr, nullptr);
            if (in < 0)
                return;
            std::lock_guard<std::mutex> lock(m_);
            pipes_.emplace_back([this, in] { Pipe(in); });
        }
    }
    void Pipe(int in) {
        const int out = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(static_cast<uint16_t>(target_));
        if (::connect(out, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
            ::close(in);
            ::close(out);
            return;
        }
        bool victim = false;
        bool first = true;
        long long sent = 0;
        char buf[4096];
        pollfd fds[2] = {{in, POLLIN, 0}, {out, POLLIN, 0}};
        while (!stop_) {
            if (::poll(fds, 2, 100) < 0)
                break;
            if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
                const ssize_t n = ::read(in, buf, sizeof buf);
                if (n <= 0)
                    break;
                const std::string head(buf, static_cast<std::size_t>(n));
                if (head.find("Range: bytes=") != std::string::npos)
                    sawRange_ = true;
                if (first && head.rfind("GET /v1/file", 0) == 0 && !dropped_)
                    victim = true;
                first = false;
                if (::write(out, buf, static_cast<std::size_t>(n)) != n)
                    break;
            }
            if (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) {
                ssize_t n = ::read(out, buf, sizeof buf);
                if (n <= 0)
                    break;
                // Only one reply is cut, the first that runs past the limit.
                if (victim && sent + n > dropAfter_ && !dropped_.exchange(true))
                    n = static_cast<ssize_t>(dropAfter_ - sent);
                else if (victim && sent + n > dropAfter_)
                    victim = false;
                if (n > 0 && ::write(in, buf, static_cast<std::size_t>(n)) != n)
                    break;
                sent += n;
                if (victim && sent >= dropAfter_ && dropped_)
                    break;
            }
        }
        ::close(in);
        ::close(out);
    }

    int target_;
    long long dropAfter_;
    int listen_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<bool> dropped_{false};
    std::atomic<bool> sawRange_{false};
    std::mutex m_;
    std::vector<std::thread> pipes_;
    std::thread acceptor_;
};
