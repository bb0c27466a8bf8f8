// Our HTTP server crowded by clients that take its room and give nothing back: request bodies
// that never arrive. The rightful client is served all the while.
#include <httplib.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "RawClient.h"
#include "share/HttpServer.h"

class CrowdedServerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        site.handle = [](const share::HttpRequest& req, share::HttpResponse& res) {
            res.Text(200, req.method == "POST" ? "got " + req.body : "quick");
        };
    }
    void Serve(share::HttpServer::Limits limits) {
        server = std::make_unique<share::HttpServer>(site, limits);
        std::string why;
        ASSERT_TRUE(server->Start("127.0.0.1", 0, &why)) << why;
    }
    // One request of the rightful client, on a connection of its own; its status, 0 for none.
    int Rightful() {
        httplib::Client http("127.0.0.1", server->port());
        http.set_connection_timeout(10);
        http.set_read_timeout(10);
        auto res = http.Get("/quick");
        return res ? res->status : 0;
    }

    share::HttpSite site;
    std::unique_ptr<share::HttpServer> server;
};

TEST_F(CrowdedServerTest, BodiesThatNeverArriveHoldNoWorkerAndAreCutOffAtTheirDeadline) {
    share::HttpServer::Limits limits;
    limits.workers = 2;
    limits.keptForQuick = 0;
    Serve(limits);
    // Three times the workers, each with one byte of a body of 100; the time for a whole body
    // (5 s) stays as the servers have it.
    std::vector<std::unique_ptr<RawClient>> slow;
    for (int i = 0; i < 6; ++i) {
        const std::string from = "127.0.0." + std::to_string(2 + i % 2);
        slow.push_back(std::make_unique<RawClient>(server->port(), from.c_str()));
        ASSERT_TRUE(
            slow.back()->Send("POST /echo HTTP/1.1\r\nHost: x\r\nContent-Length: 100\r\n\r\na"));
    }
    int served = 0;
    while (served < 5 && Rightful() == 200)
        ++served;
    std::printf("rightful client beside 6 bodies that never end: %d of 5 served\n", served);
    EXPECT_EQ(served, 5);
    int closed = 0;
    for (auto& s : slow)
        closed += s->ClosedWithin(15) ? 1 : 0;
    EXPECT_EQ(closed, 6) << "a connection whose body never came was kept";

    // A body that comes in pieces within its time is read whole, and the request behind it
    // on the same connection is answered after it.
    RawClient pieces(server->port());
    ASSERT_TRUE(pieces.Send("POST /echo HTTP/1.1\r\nHost: x\r\nContent-Length: 10\r\n\r\nhello"));
    ASSERT_TRUE(
        pieces.Send("world"
                    "GET /quick HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n"));
    const std::string replies = pieces.Receive(10);
    EXPECT_EQ(RawClient::Status(replies), 200) << replies;
    EXPECT_NE(replies.find("got helloworld\n"), std::string::npos) << replies;
    EXPECT_NE(replies.find("quick\n"), std::string::npos) << replies;
}
