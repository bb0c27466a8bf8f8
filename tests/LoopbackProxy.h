#pragma once
// A TCP proxy on loopback in front of a server of the test, as the network between a client and
// a recorder: every connection to port() is joined to a new connection to the target. By
// default it passes the bytes as they are; its faults cut the first file reply short (both sides
// closed after dropAfter bytes, as a network that fails would) or zero the body of every reply
// to GET /v1/file. A subclass may relay in its own way instead; it calls Start() once whole and
// Stop() in its destructor.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class LoopbackProxy {
  public:
    struct Faults {
        long long dropAfter = -1;  // the first file reply ends after so many bytes
        bool zeroFiles = false;    // the bodies of file replies arrive as zeros
    };
    explicit LoopbackProxy(int targetPort) : LoopbackProxy(targetPort, Faults{}) {}
    LoopbackProxy(int targetPort, Faults faults) : target_(targetPort), faults_(faults) {
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
    bool dropped() const { return dropped_; }
    bool sawRange() const { return sawRange_; }
    long long zeroed() const { return zeroed_; }
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
        std::deque<bool> fileReplies;  // for each request sent on, whether it asked for a file
        Stream requests, replies;
        bool first = true, victim = false;
        long long sent = 0;
        const auto isFile = [](const std::string& head) {
            return head.rfind("GET /v1/file", 0) == 0;
        };
        Pump(
            client, target,
            [&](char* data, std::size_t n) {
                requests.Take(data, n, [&](const std::string& head) {
                    fileReplies.push_back(isFile(head));
                    sawRange_ = sawRange_ || head.find("\r\nRange: bytes=") != std::string::npos;
                    victim =
                        victim || (first && faults_.dropAfter >= 0 && isFile(head) && !dropped_);
                    first = false;
                    return false;
                });
            },
            [&](char* data, ssize_t& n) {
                zeroed_ += replies.Take(data, static_cast<std::size_t>(n), [&](const std::string&) {
                    const bool file = !fileReplies.empty() && fileReplies.front();
                    if (!fileReplies.empty())
                        fileReplies.pop_front();
                    return file && faults_.zeroFiles;
                });
                // Only one reply is cut, the first that runs past the limit.
                if (victim && sent + n > faults_.dropAfter) {
                    victim = false;
                    if (!dropped_.exchange(true)) {
                        n = static_cast<ssize_t>(faults_.dropAfter - sent);
                        return false;
                    }
                }
                sent += n;
                return true;
            });
    }
    // Passes bytes both ways until a side closes or the proxy stops: up(data, n) sees what the
    // client sends before it goes on; down(data, n) sees what the server answers and may change
    // it or shorten n, and its false ends the relay once those n bytes were passed. Sends do not
    // raise SIGPIPE: a side that closed first ends the relay, never the test program.
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
    // One direction of HTTP/1.1 messages with Content-Length bodies, cut into heads and bodies:
    // onHead sees each complete head and answers whether its body is zeroed. Take answers how
    // many bytes it zeroed.
    struct Stream {
        std::string head;
        long long body = 0;  // bytes of the current body still to pass
        bool zero = false;
        template <class OnHead>
        long long Take(char* data, std::size_t n, OnHead onHead) {
            long long zeroed = 0;
            for (std::size_t i = 0; i < n;) {
                if (body > 0) {
                    const auto take = std::min<std::size_t>(n - i, static_cast<std::size_t>(body));
                    if (zero) {
                        std::fill(data + i, data + i + take, '\0');
                        zeroed += static_cast<long long>(take);
                    }
                    i += take;
                    body -= static_cast<long long>(take);
                    continue;
                }
                head += data[i++];
                if (head.size() >= 4 && head.compare(head.size() - 4, 4, "\r\n\r\n") == 0) {
                    const std::size_t at = head.find("Content-Length:");
                    body = at == std::string::npos ? 0 : std::atoll(head.c_str() + at + 15);
                    zero = onHead(head);
                    head.clear();
                }
            }
            return zeroed;
        }
    };
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
            std::lock_guard<std::mutex> lock(pipesMutex_);
            pipes_.emplace_back([this, in] {
                const int out = ::socket(AF_INET, SOCK_STREAM, 0);
                sockaddr_in a = Loopback(target_);
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
    std::atomic<long long> zeroed_{0};
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
