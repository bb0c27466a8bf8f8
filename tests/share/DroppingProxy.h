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
        Pump(
            in, out,
            [&](const char* data, std::size_t n) {
                const std::string head(data, n);
                if (head.find("Range: bytes=") != std::string::npos)
                    sawRange_ = true;
                if (first && head.rfind("GET /v1/file", 0) == 0 && !dropped_)
                    victim = true;
                first = false;
            },
            [&](char*, ssize_t& n) {
                // Only one reply is cut, the first that runs past the limit.
                if (victim && sent + n > dropAfter_ && !dropped_.exchange(true))
                    n = static_cast<ssize_t>(dropAfter_ - sent);
                else if (victim && sent + n > dropAfter_)
                    victim = false;
                sent += n;
                return !(victim && sent >= dropAfter_ && dropped_);
            });
    }
    long long dropAfter_;
    std::atomic<bool> dropped_{false};
    std::atomic<bool> sawRange_{false};
};
