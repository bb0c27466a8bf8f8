#pragma once
// A TCP proxy on loopback in front of a server of the test: every connection to port() is
// joined to a new connection to the target, and a subclass relays the bytes between the two
// as a faulty network would. Subclasses call Stop() in their destructor.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

class LoopbackProxy {
  public:
    explicit LoopbackProxy(int targetPort) : target_(targetPort) {
        listen_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a = Loopback(0);
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

  protected:
    // Starts accepting; called by the subclass once it is whole.
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
        std::lock_guard<std::mutex> lock(m_);
        for (auto& t : pipes_)
            t.join();
        pipes_.clear();
    }
    // Relays between the client's socket and the target's until one closes or stopping() holds;
    // the caller closes both.
    virtual void Relay(int client, int target) = 0;
    bool stopping() const { return stop_; }
    // Passes bytes both ways until a side closes or the proxy stops: up(data, n) sees what the
    // client sends before it goes on; down(data, n) sees what the server answers and may change
    // it or shorten n, and its false ends the relay once those n bytes were passed.
    // A side that closed first ends the relay, never the test program: sends do not raise
    // SIGPIPE.
    template <class Up, class Down>
    void Pump(int client, int target, Up up, Down down) {
        char buf[8192];
        pollfd fds[2] = {{client, POLLIN, 0}, {target, POLLIN, 0}};
        while (!stopping()) {
            if (::poll(fds, 2, 100) < 0)
                return;
            if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
                const ssize_t n = ::read(client, buf, sizeof buf);
                if (n <= 0)
                    return;
                up(buf, static_cast<std::size_t>(n));
                if (::send(target, buf, static_cast<std::size_t>(n), MSG_NOSIGNAL) != n)
                    return;
            }
            if (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) {
                ssize_t n = ::read(target, buf, sizeof buf);
                if (n <= 0)
                    return;
                const bool goOn = down(buf, n);
                if (n > 0 && ::send(client, buf, static_cast<std::size_t>(n), MSG_NOSIGNAL) != n)
                    return;
                if (!goOn)
                    return;
            }
        }
    }

  private:
    static sockaddr_in Loopback(int port) {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(static_cast<uint16_t>(port));
        return a;
    }
    void Accept() {
        for (;;) {
            const int in = ::accept(listen_, nullptr, nullptr);
            if (in < 0)
                return;
            std::lock_guard<std::mutex> lock(m_);
            pipes_.emplace_back([this, in] {
                const int out = ::socket(AF_INET, SOCK_STREAM, 0);
                sockaddr_in a = Loopback(target_);
                if (::connect(out, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0)
                    Relay(in, out);
                ::close(in);
                ::close(out);
            });
        }
    }

    int target_;
    int listen_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::mutex m_;
    std::vector<std::thread> pipes_;
    std::thread acceptor_;
};
