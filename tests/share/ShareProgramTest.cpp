// The quillon-share program: an image fetched through it by a client with its token, a client
// without the token turned away, a public address refused without a token, and a clean stop
// on SIGTERM.
#include <httplib.h>
#include <signal.h>

#include "ShareFixture.h"
#include "ShareProgram.h"
#include "share/HttpShareClient.h"

class ShareProgramTest : public ShareFixture {};

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
        RecordingReceiver receiver;
        client.Connect("127.0.0.1", port, &receiver);
        DriveChain(client, receiver);
        client.ReqSetAddBackupDataPath(ImageRequest());
        receiver.WaitFor(share::kCodeDeleted);
        receiver.onAnswer = nullptr;
        const auto got = NamesBelow(Downloaded());
        EXPECT_FALSE(got.empty());
        for (const auto& name : got)
            EXPECT_EQ(name.find(".quillon-part"), std::string::npos) << name;
        EXPECT_FALSE(std::filesystem::exists(ServerImage()));
        const auto codes = receiver.Codes();
        EXPECT_EQ(std::count(codes.begin(), codes.end(), 7ul), 0);
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
