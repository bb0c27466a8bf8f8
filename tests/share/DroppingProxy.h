#pragma once
// A loopback TCP proxy in front of a server that cuts the first file download short: after
// `dropAfter` bytes of its reply both sides are closed, as a network that fails would. Every
// later connection passes whole. It notes whether a request asked for a range.
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <string>

#include "LoopbackProxy.h"

class DroppingProxy : public LoopbackProxy {
  public:
    DroppingProxy(int targetPort, long long dropAfter)
        : LoopbackProxy(targetPort), dropAfter_(dropAfter) {
        Start();
    }
    ~DroppingProxy() override { Stop(); }
    bool dropped() const { return dropped_; }
    bool sawRange() const { return sawRange_; }

  private:
    void Relay(int in, int out) override {
        bool victim = false;
        bool first = true;
        long long sent = 0;
        char buf[4096];
        pollfd fds[2] = {{in, POLLIN, 0}, {out, POLLIN, 0}};
        while (!stopping()) {
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
    }

    long long dropAfter_;
    std::atomic<bool> dropped_{false};
    std::atomic<bool> sawRange_{false};
};
