// The quillon-share program: an image fetched through it by a client with its token, a client
// without the token turned away, a public address refused without a token, and a clean stop
// on SIGTERM.
#include <httplib.h>
#include <signal.h>

#include <fstream>
#include <thread>

#include "CliRunner.h"
#include "ShareFixture.h"
#include "share/HttpShareClient.h"

namespace {

const std::string kProgram = std::string(QUILLON_BIN_DIR) + "/quillon-share";

// The port from the line the server prints once it listens; 0 when it ended without one.
int ServedPort(const RunningProgram& p) {
    const std::string tag = " on 127.0.0.1:";
    for (int i = 0; i < 3000; ++i) {
        std::string line;
        std::ifstream in(p.outPath);
        std::getline(in, line);
        const std::size_t at = line.find(tag);
        if (at != std::string::npos && !line.empty())
            return std::stoi(line.substr(at + tag.size()));
        if (::waitpid(p.pid, nullptr, WNOHANG) == p.pid)
            return 0;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return 0;
}

}  // namespace

class ShareProgramTest : public ShareFixture {};

TEST_F(ShareProgramTest, ServesAnImageToItsTokenOnlyAndStopsCleanlyOnSigterm) {
    const RunningProgram p =
        StartProgram(kProgram,
                     {"--root", driveC() + "/QorData", "--listen", "127.0.0.1:0", "--token", "tk1",
                      "--cameras", "4", "--verbose"},
                     prefix());
    const int port = ServedPort(p);
    ASSERT_GT(port, 0) << FinishProgram(p).err;

    httplib::Client stranger("127.0.0.1", port);
    auto refused = stranger.Post("/v1/index", kDay, "text/plain");
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->status, 401);

    {
        share::HttpShareClient client("tk1");
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
    EXPECT_NE(r.err.find("stopping"), std::string::npos) << r.err;
}

TEST_F(ShareProgramTest, AnAddressOtherMachinesReachNeedsAToken) {
    RunResult r =
        RunProgram(kProgram, {"--root", "C:\\QorData", "--listen", "0.0.0.0:0"}, prefix());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("give a --token"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
    r = RunProgram(kProgram, {"--listen", "127.0.0.1:0"}, prefix());
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("--root is required"), std::string::npos) << r.err;
}
