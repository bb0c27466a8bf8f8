#pragma once
// A TCP proxy on loopback in front of a server of the test, as the network between a client and
// a recorder: every connection to port() is joined to a new connection to the target. By
// default it passes the bytes as they are; its fault cuts the first file reply short (both sides
// closed after dropAfter bytes, as a network that fails would). A subclass may relay in its own
// way instead; it calls Start() once whole and Stop() in its destructor.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// The address of port on this machine's loopback.
inline sockaddr_in LoopbackAddress(int port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(port));
    return a;
}

class LoopbackProxy {
  public:
    struct Faults {
        long long dropAfter = -1;  // the first file reply ends after so many bytes
    };
    explicit LoopbackProxy(int targetPort) : LoopbackProxy(targetPort, Faults{}) {}
    LoopbackProxy(int targetPort, Faults faults) : target_(targetPort), faults_(faults) {
        listen_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a = LoopbackAddress(0);
        ::bind(listen_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(listen_, 16);
        socklen_t len = sizeof a;
        ::getsockname(listen_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
    }
    virtual ~LoopbackProxy() = default;
    LoopbackProxy(const LoopbackProxy&) = delete;
    LoopbackProxy& operator=(const LoopbackProxy&) = delete;
    int port() const { return port_; }
    bool dropped() const { return dropped_; }
    bool sawRange() const { return sawRange_; }
    // True once `count` connections have ended, either side closing.
    bool WaitClosed(int count) {
        std::unique_lock<std::mutex> lock(m_);
        return cv_.wait_for(lock, std::chrono::minutes(1), [&] { return closed_ >= count; });
    }

  protected:
    void Start() {
        acceptor_ = std::thread([this] { Accept(); });
    }
    // Ends accepting and waits for every relay.
    void Stop() {
        stop_ = true;
        ::shutdown(listen_, SHUT_RDWR);
        ::close(listen_);
        if (acceptor_.joinable())
            acceptor_.join();
        std::lock_guard<std::mutex> lock(pipesMutex_);
        for (auto& t : pipes_)
            t.join();
        pipes_.clear();
    }
    bool stopping() const { return stop_; }
    // Relays between the client's socket and the target's with the faults given; the caller
    // closes both.
    virtual void Relay(int client, int target) {
        std::string head;
        long long body = 0, sent = 0;  // bytes of the current request's body still to pass
        bool first = true, victim = false;
        char buf[8192];
        pollfd fds[2] = {{client, POLLIN, 0}, {target, POLLIN, 0}};
        while (!stopping()) {
            if (::poll(fds, 2, 100) < 0)
                return;
            if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
                const ssize_t n = ::read(client, buf, sizeof buf);
                if (n <= 0)
                    return;
                // Cut into heads and Content-Length bodies: only a head says what is asked.
                for (ssize_t i = 0; i < n; ++i) {
                    if (body > 0) {
                        --body;
                        continue;
                    }
                    head += buf[i];
                    if (head.size() < 4 || head.compare(head.size() - 4, 4, "\r\n\r\n") != 0)
                        continue;
                    const std::size_t at = head.find("Content-Length:");
                    body = at == std::string::npos ? 0 : std::atoll(head.c_str() + at + 15);
                    sawRange_ = sawRange_ || head.find("\r\nRange: bytes=") != std::string::npos;
                    victim = victim || (first && faults_.dropAfter >= 0 &&
                                        head.rfind("GET /v1/file", 0) == 0 && !dropped_);
                    first = false;
                    head.clear();
                }
                if (::send(target, buf, static_cast<std::size_t>(n), MSG_NOSIGNAL) != n)
                    return;
            }
            if (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) {
                ssize_t n = ::read(target, buf, sizeof buf);
                if (n <= 0)
                    return;
                // Only one reply is cut, the first that runs past the limit.
                const bool cut = victim && sent + n > faults_.dropAfter && !dropped_.exchange(true);
                victim = victim && sent + n <= faults_.dropAfter;
                if (cut)
                    n = static_cast<ssize_t>(faults_.dropAfter - sent);
                sent += n;
                // Sends do not raise SIGPIPE: a side that closed first ends the relay, never
                // the test program.
                if ((n > 0 &&
                     ::send(client, buf, static_cast<std::size_t>(n), MSG_NOSIGNAL) != n) ||
                    cut)
                    return;
            }
        }
    }

  private:
    void Accept() {
        for (;;) {
            const int in = ::accept(listen_, nullptr, nullptr);
            if (in < 0)
                return;
            std::lock_guard<std::mutex> lock(pipesMutex_);
            pipes_.emplace_back([this, in] {
                const int out = ::socket(AF_INET, SOCK_STREAM, 0);
                sockaddr_in a = LoopbackAddress(target_);
                if (::connect(out, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0)
                    Relay(in, out);
                ::close(in);
                ::close(out);
                std::lock_guard<std::mutex> counted(m_);
                ++closed_;
                cv_.notify_all();
            });
        }
    }

    int target_;
    Faults faults_;
    int listen_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false}, dropped_{false}, sawRange_{false};
    std::mutex m_, pipesMutex_;
    std::condition_variable cv_;
    int closed_ = 0;
    std::vector<std::thread> pipes_;
    std::thread acceptor_;
};

// The proxy as a test uses it: relaying from its construction until its destruction.
class FaultProxy : public LoopbackProxy {
  public:
    explicit FaultProxy(int targetPort, Faults faults = {}) : LoopbackProxy(targetPort, faults) {
        Start();
    }
    ~FaultProxy() override { Stop(); }
};
