// The quillon-share program: an image fetched through it by a client with its token, a client
// without the token turned away, a public address refused without a token, and a clean stop
// on SIGTERM; with a certificate, HTTPS on both ports and its pin printed, and plain HTTP off
// loopback only when asked for.
#include <httplib.h>
#include <signal.h>

#include "ShareFixture.h"
#include "ShareProgram.h"
#include "TlsFiles.h"
#include "share/HttpPictureSource.h"
#include "share/HttpShareClient.h"

class ShareProgramTest : public ShareFixture {
  protected:
    // One image fetched through client from the server on port, with no answer that ended the
    // chain: the names of what arrived.
    std::vector<std::string> FetchImage(share::HttpShareClient& client, int port) {
        RecordingReceiver receiver;
        client.Connect("127.0.0.1", port, &receiver);
        DriveChain(client, receiver);
        client.ReqSetAddBackupDataPath(ImageRequest());
        receiver.WaitFor(share::kCodeDeleted);
        receiver.onAnswer = nullptr;
        const auto codes = receiver.Codes();
        EXPECT_EQ(std::count(codes.begin(), codes.end(), 7ul), 0);
        client.Connect("127.0.0.1", port, nullptr);  // the receiver goes before the client
        return NamesBelow(Downloaded());
    }
};

TEST_F(ShareProgramTest, ServesAnImageToItsTokenOnlyAndStopsCleanlyOnSigterm) {
    const RunningProgram p =
        StartProgram(kShareProgram,
                     {"--root", driveC() + "/QorData", "--listen", "127.0.0.1:0", "--token",
                      "tk1-never-shown", "--cameras", "4", "--verbose"},
                     prefix());
    const int port = ServedPort(p);
    ASSERT_GT(port, 0) << FinishProgram(p).err;

    httplib::Client stranger("127.0.0.1", port);
    auto refused = stranger.Post("/v1/index", kDay, "text/plain");
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->status, 401);

    {
        share::HttpShareClient client("tk1-never-shown");
        const auto got = FetchImage(client, port);
        EXPECT_FALSE(got.empty());
        for (const auto& name : got)
            EXPECT_EQ(name.find(".quillon-part"), std::string::npos) << name;
        EXPECT_FALSE(std::filesystem::exists(ServerImage()));
    }

    ::kill(p.pid, SIGTERM);
    const RunResult r = FinishProgram(p);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("serving C:\\QorData on 127.0.0.1:"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("POST /v1/index -> 401"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("image 2010_05_23=10,00~10,03 for 127.0.0.1 built: "), std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("building "), std::string::npos) << r.err;  // --verbose
    // Said how it was given, which every user's `ps` shows; the token itself never.
    EXPECT_NE(r.err.find("warning: --token shows the token"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("tk1-never-shown"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("stopping"), std::string::npos) << r.err;
}

TEST_F(ShareProgramTest, AnAddressOtherMachinesReachNeedsAToken) {
    RunResult r =
        RunProgram(kShareProgram, {"--root", "C:\\QorData", "--listen", "0.0.0.0:0"}, prefix());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("lets other machines in: give a token"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
    r = RunProgram(kShareProgram, {"--listen", "127.0.0.1:0"}, prefix());
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("--root is required"), std::string::npos) << r.err;
}

TEST_F(ShareProgramTest, ServesHttpsOnBothPortsToItsPinAndPrintsThatPin) {
    const TlsFiles tls = MakeTlsFiles(prefix());
    ASSERT_TRUE(tls.ok) << ReadText(prefix() + "/openssl.log");
    const RunningProgram p =
        StartProgram(kShareProgram,
                     {"--root", driveC() + "/QorData", "--listen", "127.0.0.1:0", "--token", "tk1",
                      "--cameras", "4", "--tls-cert", tls.selfCert, "--tls-key", tls.selfKey},
                     prefix());
    const int port = ServedPort(p);
    ASSERT_GT(port, 0) << FinishProgram(p).err;
    const std::string pin = OpensslPin(tls.selfCert);
    EXPECT_NE(ReadText(p.outPath).find("certificate pin " + pin + "\n"), std::string::npos)
        << ReadText(p.outPath);
    share::TlsTrust trust;
    trust.on = true;
    trust.pin = pin;
    {
        share::HttpShareClient client("tk1", trust);
        EXPECT_FALSE(FetchImage(client, port).empty());
    }
    share::HttpPictureSource pictures("127.0.0.1", port - 2, "tk1", std::chrono::seconds(3), trust);
    EXPECT_EQ(pictures.Days(), std::vector<std::string>{kDay}) << pictures.LastProblem();
    // Plain HTTP is answered on neither port.
    httplib::Client plain("127.0.0.1", port), plainPictures("127.0.0.1", port - 2);
    for (auto* http : {&plain, &plainPictures}) {
        auto res = http->Get("/v1/index");
        ASSERT_TRUE(res);
        EXPECT_EQ(res->status, 400);
    }
    ::kill(p.pid, SIGTERM);
    EXPECT_EQ(FinishProgram(p).status, 0);
}

TEST_F(ShareProgramTest, OffLoopbackPlainHttpMustBeAskedForAndACertificateNeedsItsKey) {
    const TlsFiles tls = MakeTlsFiles(prefix());
    ASSERT_TRUE(tls.ok) << ReadText(prefix() + "/openssl.log");
    const std::vector<std::string> open{"--root",    "C:\\QorData", "--listen",
                                        "0.0.0.0:0", "--token",     "t"};
    auto with = [&](std::vector<std::string> more) {
        more.insert(more.begin(), open.begin(), open.end());
        return more;
    };
    RunResult r = RunProgram(kShareProgram, open, prefix());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("in plain HTTP sends the token and the recordings across the network"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("--insecure-http"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
    r = RunProgram(kShareProgram, with({"--tls-cert", tls.selfCert}), prefix());
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("tls-cert and tls-key go together"), std::string::npos) << r.err;
    r = RunProgram(kShareProgram, with({"--tls-cert", tls.selfCert, "--tls-key", tls.signedKey}),
                   prefix());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("is not the key of the certificate"), std::string::npos) << r.err;

    for (const bool secure : {false, true}) {
        SCOPED_TRACE(secure ? "HTTPS" : "--insecure-http");
        const RunningProgram p =
            StartProgram(kShareProgram,
                         with(secure ? std::vector<std::string>{"--tls-cert", tls.selfCert,
                                                                "--tls-key", tls.selfKey}
                                     : std::vector<std::string>{"--insecure-http"}),
                         prefix(), 0, secure ? "https" : "insecure");
        const int port = ServedPort(p, "0.0.0.0");
        EXPECT_GT(port, 0) << FinishProgram(p).err;
        if (port == 0)
            continue;
        EXPECT_EQ(ReadText(p.outPath).find("certificate pin") != std::string::npos, secure);
        ::kill(p.pid, SIGTERM);
        EXPECT_EQ(FinishProgram(p).status, 0);
    }
}
