#pragma once
// A bare TCP client for the tests that play a hostile network: it sends exactly the bytes given,
// as slowly as the test likes, from any loopback source address, and reads what comes back.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

class RawClient {
  public:
    // Connects from `from` (any 127.x.y.z) to 127.0.0.1:port; connected() tells whether it did.
    explicit RawClient(int port, const std::string& from = "127.0.0.1") {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        ::inet_pton(AF_INET, from.c_str(), &a.sin_addr);
        if (::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0)
            return;
        a.sin_port = htons(static_cast<std::uint16_t>(port));
        ::inet_pton(AF_INET, "127.0.0.1", &a.sin_addr);
        connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    }
    ~RawClient() { ::close(fd_); }
    RawClient(const RawClient&) = delete;
    RawClient& operator=(const RawClient&) = delete;
    bool connected() const { return connected_; }
    int handle() const { return fd_; }  // for a test that speaks TLS over it
    // False once the server no longer takes bytes (closed, or nothing moved for two seconds).
    bool Send(std::string_view bytes) {
        for (pollfd p{fd_, POLLOUT, 0}; !bytes.empty();) {
            const ssize_t n = ::poll(&p, 1, 2000) <= 0 ? -1
                                                       : ::send(fd_, bytes.data(), bytes.size(),
                                                                MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n <= 0)
                return false;
            bytes.remove_prefix(static_cast<std::size_t>(n));
        }
        return true;
    }
    // What arrives until the server closes, `limit` bytes have come, or `seconds` pass.
    std::string Receive(double seconds, std::size_t limit = 1u << 30) {
        std::string got;
        const auto until = std::chrono::steady_clock::now() +
                           std::chrono::milliseconds(static_cast<long long>(seconds * 1000));
        char buffer[64 * 1024];
        while (got.size() < limit) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                  until - std::chrono::steady_clock::now())
                                  .count();
            pollfd p{fd_, POLLIN, 0};
            if (left <= 0 || ::poll(&p, 1, static_cast<int>(left)) <= 0)
                break;
            const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
            if ((closed_ = n <= 0))
                break;
            got.append(buffer, static_cast<std::size_t>(n));
        }
        return got;
    }
    // The status of the reply to request, sent whole; 0 when none came within `seconds`.
    int Asked(std::string_view request, double seconds = 10) {
        return Send(request) ? Status(Receive(seconds, 12)) : 0;
    }
    // The server has not closed or reset the connection yet; nothing is read.
    bool OpenNow() const {
        char c;
        const ssize_t n = ::recv(fd_, &c, 1, MSG_PEEK | MSG_DONTWAIT);
        return n > 0 || (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK));
    }
    // True when the server has closed the connection by then (what it sent is dropped).
    bool ClosedWithin(double seconds) {
        Receive(seconds);
        return closed_;
    }
    // The status of the reply that begins `reply`, 0 when there is none.
    static int Status(const std::string& reply) {
        if (reply.compare(0, 9, "HTTP/1.1 ") != 0 || reply.size() < 12)
            return 0;
        return std::atoi(reply.substr(9, 3).c_str());
    }

  private:
    int fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    bool connected_ = false;
    bool closed_ = false;
};

// `count` connections to port, the i-th from 127.0.0.<first + i % spread>, each connected.
inline std::vector<std::unique_ptr<RawClient>> RawClients(int port, int count, int first,
                                                          int spread) {
    std::vector<std::unique_ptr<RawClient>> clients;
    for (int i = 0; i < count; ++i) {
        clients.push_back(
            std::make_unique<RawClient>(port, "127.0.0." + std::to_string(first + i % spread)));
        EXPECT_TRUE(clients.back()->connected()) << i;
    }
    return clients;
}
