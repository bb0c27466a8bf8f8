#pragma once
// A loopback TCP proxy in front of a share server that changes the bytes of every file it
// passes (the body of each reply to GET /v1/file is zeroed), as a faulty or hostile network
// between a recorder and its client would. Everything else passes as it is.
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <deque>
#include <string>

#include "LoopbackProxy.h"

class CorruptingProxy : public LoopbackProxy {
  public:
    explicit CorruptingProxy(int targetPort) : LoopbackProxy(targetPort) { Start(); }
    ~CorruptingProxy() override { Stop(); }
    long long zeroed() const { return zeroed_; }

  private:
    // One direction of HTTP/1.1 messages with Content-Length bodies, cut into heads and bodies.
    struct Stream {
        std::string head;
        long long body = 0;  // bytes of the current body still to pass
        bool zero = false;   // the current body is zeroed
        // Calls onHead for each complete head, which answers whether its body is zeroed.
        // Answers how many bytes were zeroed.
        template <class OnHead>
        long long Take(char* data, std::size_t n, OnHead onHead) {
            long long zeroed = 0;
            std::size_t i = 0;
            while (i < n) {
                if (body > 0) {
                    const std::size_t take =
                        std::min<std::size_t>(n - i, static_cast<std::size_t>(body));
                    if (zero) {
                        for (std::size_t k = 0; k < take; ++k)
                            data[i + k] = 0;
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

    void Relay(int in, int out) override {
        std::deque<bool> fileReplies;  // for each request sent on, whether it asked for a file
        Stream requests, replies;
        Pump(
            in, out,
            [&](char* data, std::size_t n) {
                requests.Take(data, n, [&](const std::string& head) {
                    fileReplies.push_back(head.rfind("GET /v1/file", 0) == 0);
                    return false;
                });
            },
            [&](char* data, ssize_t& n) {
                zeroed_ += replies.Take(data, static_cast<std::size_t>(n), [&](const std::string&) {
                    const bool file = !fileReplies.empty() && fileReplies.front();
                    if (!fileReplies.empty())
                        fileReplies.pop_front();
                    return file;
                });
                return true;
            });
    }

    std::atomic<long long> zeroed_{0};
};
