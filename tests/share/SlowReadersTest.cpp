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
    // Every reply under way: each reader has the start of its own, and reads no more.
    for (auto& r : readers)
        ASSERT_EQ(RawClient::Status(r->Receive(60, 12)), 200);

    httplib::Client http("127.0.0.1", server.port());
    http.set_connection_timeout(10);
    http.set_read_timeout(10);
    auto res = http.Get("/quick");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
    // Answered while the stalled downloads still hold their connections.
    for (auto& r : readers)
        EXPECT_TRUE(r->OpenNow());
    readers.clear();
    server.Stop();
}
