// A client turned away by a crowded server, over plain HTTP and TLS: it reads the server's 503
// and tells the operator it was turned away, why, and when to come back, instead of a lost
// connection.
#include <string>

#include <gtest/gtest.h>

#include "RawClient.h"
#include "TestEnv.h"
#include "TlsFiles.h"
#include "share/HttpServer.h"
#include "share/ShareLink.h"
#include "share/TlsServer.h"

namespace {

class TurnedAwayTest : public TempPrefixTest {
  protected:
    void SetUp() override {
        TempPrefixTest::SetUp();
        site.handle = [](const share::HttpRequest&, share::HttpResponse& res) {
            res.Text(200, "quick");
        };
    }
    // A server of one connection an address, which the test's idle connection holds: the
    // link's request is the one too many. The problem the link tells of it.
    std::string Crowded(std::shared_ptr<share::ServerTls> tls, const share::TlsTrust& trust) {
        share::HttpServer::Limits limits;
        limits.perAddress = 1;
        limits.headTime = std::chrono::seconds(120);  // the idle one stays for the whole test
        share::HttpServer server(site, limits, std::move(tls));
        std::string why;
        EXPECT_TRUE(server.Start("127.0.0.1", 0, &why)) << why;
        const RawClient idle(server.port());
        EXPECT_TRUE(idle.connected());
        share::ShareLink link("127.0.0.1", server.port(), "", trust);
        const share::ShareLink::Reply reply = link.Get("/quick", 100);
        EXPECT_FALSE(reply.ok());
        return reply.Problem("the day list");
    }

    share::HttpSite site;
};

TEST_F(TurnedAwayTest, AClientTurnedAwaySaysSoWithTheReasonAndWhenToComeBack) {
    const std::string plain = Crowded(nullptr, {});
    EXPECT_EQ(plain,
              "the day list was turned away by the server: too many connections from this "
              "address; it asks to be tried again in 5 s");

    const TlsFiles files = MakeTlsFiles(prefix());
    ASSERT_TRUE(files.ok);
    std::string why;
    auto identity = share::ServerTls::Load(files.selfCert, files.selfKey, &why);
    ASSERT_TRUE(identity) << why;
    share::TlsTrust trust;
    trust.on = true;
    trust.pin = OpensslPin(files.selfCert);
    EXPECT_EQ(Crowded(identity, trust), plain);
}

}  // namespace
