// The recorder's disk under the server's temporary images: an image nobody fetches from goes
// by itself, one being fetched stays, and a build that would leave too little of the disk free
// is refused with a reason the operator is shown.
#include <httplib.h>

#include <filesystem>
#include <thread>

#include "ShareFixture.h"
#include "share/HttpShareClient.h"
#include "share/ShareLink.h"

namespace fs = std::filesystem;

class ImageDiskTest : public ShareFixture {};

TEST_F(ImageDiskTest, AnImageNobodyFetchesFromIsRemovedByTheTimerAndOneBeingFetchedStays) {
    serveSettings.abandonAfter = std::chrono::milliseconds(1500);
    Serve();
    httplib::Client http("127.0.0.1", server->port());
    const share::JobStatus status = BuildImage(http);
    ASSERT_EQ(status.state, share::JobState::kDone) << status.problem;
    const std::string path = "/v1/file?entry=" + share::QueryValue(status.entry) +
                             "&name=" + share::QueryValue(status.files.front().name);
    // Fetched from every 300 ms for twice the idle time: it stays.
    for (int i = 0; i < 10; ++i) {
        auto res = http.Get(path);
        ASSERT_TRUE(res);
        ASSERT_EQ(res->status, 200) << "fetch " << i;
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    ASSERT_TRUE(fs::exists(ServerImage()));
    // Then left alone, without any other request: the timer removes it.
    for (int i = 0; i < 200 && fs::exists(ServerImage()); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(fs::exists(ServerImage()));
    EXPECT_EQ(http.Get(path)->status, 404);
}

TEST_F(ImageDiskTest, ABuildThatWouldLeaveTooLittleOfTheDiskFreeIsRefusedWithItsReason) {
    serveSettings.keepFree = 1.0;  // no disk is ever that empty
    Serve();
    share::HttpShareClient client;
    RecordingReceiver receiver;
    client.Connect("127.0.0.1", server->port(), &receiver);
    client.ReqSetAddBackupDataPath(ImageRequest());
    const Answer ended = receiver.WaitFor(share::kCodeEnded);
    EXPECT_NE(ended.text.find("too little free space"), std::string::npos) << ended.text;
    const auto codes = receiver.Codes();
    EXPECT_EQ(std::count(codes.begin(), codes.end(), 4ul), 0);
    EXPECT_FALSE(fs::exists(ServerImage()));
    server->Stop();

    // The default leaves a tenth of the disk free, which the test machine has.
    serveSettings.keepFree = 0.10;
    Serve();
    httplib::Client http("127.0.0.1", server->port());
    EXPECT_EQ(BuildImage(http).state, share::JobState::kDone);
}
