#pragma once
#include <httplib.h>

#include <functional>
#include <thread>

#include "Wait.h"

// A server of the test's own on a loopback port: the routes a test gives it, served on a thread
// of its own from construction until destruction.
class FakeHttp {
  public:
    using Handler = std::function<void(const httplib::Request&, httplib::Response&)>;
    explicit FakeHttp(const std::function<void(httplib::Server&)>& routes) {
        routes(http);
        port = http.bind_to_any_port("127.0.0.1");
        thread = std::thread([this] { http.listen_after_bind(); });
        // Bound and listening already; stop() only takes once the accepting loop runs.
        WaitUntil([this] { return http.is_running(); });
    }
    ~FakeHttp() {
        http.stop();
        thread.join();
    }
    httplib::Server http;
    int port = 0;
    std::thread thread;
};
