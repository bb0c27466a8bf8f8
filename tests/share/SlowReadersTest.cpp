// Clients that ask for a file and then never read it hold a worker each until the reply stalls
// out; the workers kept for the other requests answer the rightful client meanwhile.
#include <httplib.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "RawClient.h"
#include "share/HttpServer.h"

TEST(SlowReadersTest, FilesSentToClientsThatDoNotReadLeaveWorkersForTheOtherRequests) {
    share::HttpSite site;
    site.handle = [](const share::HttpRequest& req, share::HttpResponse& res) {
        if (req.path != "/file")
            return res.Text(200, "quick");
        // Far more than the sockets' buffers hold: the reply waits on its reader.
        res.contentType = "application/octet-stream";
        res.fileLength = 256LL << 20;
        res.readFile = [](char* data, std::size_t size, unsigned long long) {
            std::memset(data, 'f', size);
            return static_cast<long long>(size);
        };
    };
    site.lengthy = [](const share::HttpRequest& req) { return req.path == "/file"; };

    share::HttpServer server(site, share::HttpServer::Limits{});
    std::string why;
    ASSERT_TRUE(server.Start("127.0.0.1", 0, &why)) << why;

    // More readers than workers, from several addresses, none reading.
    std::vector<std::unique_ptr<RawClient>> readers;
    for (int i = 0; i < 12; ++i) {
        const std::string from = "127.0.0." + std::to_string(2 + i % 4);
        readers.push_back(std::make_unique<RawClient>(server.port(), from.c_str()));
        ASSERT_TRUE(readers.back()->connected());
        ASSERT_TRUE(readers.back()->Send("GET /file HTTP/1.1\r\nHost: x\r\n\r\n"));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(500));  // every reply under way

    httplib::Client http("127.0.0.1", server.port());
    http.set_connection_timeout(10);
    http.set_read_timeout(10);
    const auto start = std::chrono::steady_clock::now();
    auto res = http.Get("/quick");
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("a quick request beside 12 stalled downloads: %.3f s\n", seconds);
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
    EXPECT_LT(seconds, 2.0);  // the bound the server must keep; it answers in milliseconds
    readers.clear();
    server.Stop();
}
