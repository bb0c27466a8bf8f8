// Clients that ask for a file and then never read it hold a worker each until the reply stalls
// out; the workers kept for the other requests answer the rightful client meanwhile. The stall
// is made longer than the test, so that only the kept workers can answer it.
#include <httplib.h>
#include <poll.h>

#include <chrono>
#include <cstring>
#include <memory>
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
    share::HttpServer::Limits limits;
    limits.writeStall = std::chrono::minutes(2);  // a stalled reply holds its worker throughout
    share::HttpServer server(site, limits);
    std::string why;
    ASSERT_TRUE(server.Start("127.0.0.1", 0, &why)) << why;

    // As many readers as workers, from several addresses, none reading.
    std::vector<std::unique_ptr<RawClient>> readers;
    std::vector<pollfd> waits;
    for (int i = 0; i < limits.workers; ++i) {
        const std::string from = "127.0.0." + std::to_string(2 + i % 4);
        readers.push_back(std::make_unique<RawClient>(server.port(), from.c_str()));
        ASSERT_TRUE(readers.back()->connected());
        ASSERT_TRUE(readers.back()->Send("GET /file HTTP/1.1\r\nHost: x\r\n\r\n"));
        waits.push_back(pollfd{readers.back()->handle(), POLLIN, 0});
    }
    // The workers that may send files each have a reply under way, which its reader leaves.
    const int sending = limits.workers - limits.keptForQuick;
    std::vector<bool> underWay(readers.size(), false);
    int started = 0;
    for (int i = 0; i < 600 && started < sending; ++i) {
        for (std::size_t k = 0; k < waits.size(); ++k)
            waits[k].events = underWay[k] ? 0 : POLLIN;
        if (::poll(waits.data(), waits.size(), 100) <= 0)
            continue;
        for (std::size_t k = 0; k < waits.size(); ++k)
            if (!underWay[k] && (waits[k].revents & POLLIN)) {
                underWay[k] = true;
                started += RawClient::Status(readers[k]->Receive(10, 12)) == 200 ? 1 : 0;
            }
    }
    ASSERT_EQ(started, sending);

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
