// The recorder's disk under the server's temporary images: so many are kept for clients, an
// image nobody fetches from goes by itself or gives way, one being fetched stays, and a build
// that would leave too little of the disk free is refused with a reason the operator is shown.
#include <sys/mount.h>

#include "ShareFixture.h"

class ImageDiskTest : public ShareFixture {
  protected:
    void TearDown() override {
        // The server's files go with the disk, before the test's folders do.
        if (server)
            server->Stop();
        server.reset();
        if (!disk.empty())
            ::umount(disk.c_str());
        ShareFixture::TearDown();
    }
    // The image of 10:00 to 10:0X of cameras 1 and 3, for a client of its own.
    share::JobStatus BuildFor(httplib::Client& http, int lastMinute) {
        const std::string end = "100" + std::to_string(lastMinute);
        return BuildImage(http, ImageRequest(end), std::string(15, '0') + end.substr(3));
    }
    std::string Folder(const share::JobStatus& status) const {
        return driveC() + "/NetBackupTemp/" + status.entry;
    }
    // The server's temporary folder on a disk of its own of `bytes`; false when the system
    // gives none.
    bool SmallDisk(unsigned long long bytes) {
        disk = driveC() + "/NetBackupTemp";
        fs::create_directories(disk);
        const std::string size = "size=" + std::to_string(bytes);
        if (::mount("tmpfs", disk.c_str(), "tmpfs", 0, size.c_str()) == 0)
            return true;
        disk.clear();
        return false;
    }
    std::string disk;  // the mount of SmallDisk
};

TEST_F(ImageDiskTest, ClientsKeepSoManyImagesAndTheOldestNobodyFetchesGivesWayToANewOne) {
    serveSettings.keptImages = 2;
    Serve();
    httplib::Client http("127.0.0.1", server->port());
    const share::JobStatus one = BuildFor(http, 1), two = BuildFor(http, 2);
    ASSERT_EQ(one.state, share::JobState::kDone) << one.problem;
    ASSERT_EQ(two.state, share::JobState::kDone) << two.problem;
    // Both just built: their clients are about to fetch them, and a third must wait.
    const share::JobStatus refused = BuildFor(http, 3);
    EXPECT_EQ(refused.state, share::JobState::kFailed);
    EXPECT_HAS(refused.problem, "keeps 2 images for clients already");
    EXPECT_TRUE(fs::exists(Folder(one)) && fs::exists(Folder(two)));
    // Once one client has removed its own, the third is built.
    ASSERT_EQ(http.Post("/v1/delete", "C:\\NetBackupTemp\\" + one.entry, "text/plain")->status,
              200);
    EXPECT_EQ(BuildFor(http, 3).state, share::JobState::kDone);
    server->Stop();
    // Images nobody fetches from: each new one takes the place of the oldest.
    serveSettings.fetching = std::chrono::milliseconds(0);
    Serve();
    httplib::Client again("127.0.0.1", server->port());
    const share::JobStatus first = BuildFor(again, 1), second = BuildFor(again, 2);
    const share::JobStatus third = BuildFor(again, 3);
    ASSERT_EQ(third.state, share::JobState::kDone) << third.problem;
    EXPECT_FALSE(fs::exists(Folder(first)));
    EXPECT_TRUE(fs::exists(Folder(second)) && fs::exists(Folder(third)));
    EXPECT_EQ(again.Get(FilePath(first, first.files.front().name))->status, 404);
}

TEST_F(ImageDiskTest, ABuildShortOfRoomFirstRemovesTheOldestImageNobodyFetches) {
    // What the image of 10:00 to 10:02 takes on the test machine's disk, and what the server
    // asks for the one of 10:00 to 10:03 before building it.
    Serve();
    httplib::Client probe("127.0.0.1", server->port());
    const share::JobStatus sized = BuildFor(probe, 2);
    ASSERT_EQ(sized.state, share::JobState::kDone) << sized.problem;
    unsigned long long taken = 0;
    for (const auto& [name, bytes] : FilesBelow(driveC() + "/NetBackupTemp"))
        taken += bytes.size();
    _BACKUPADDTOTALSIZE ask = SizeRequest(server->service().IndexReply(kDay));
    const unsigned long long asked = server->service().AddSize(ask).nSize * 1024ull;
    server->Stop();
    // A disk with room for the second alone, not beside the first.
    const unsigned long long size = asked + taken / 2;
    ASSERT_TRUE(SmallDisk(size)) << "no tmpfs for the test";
    serveSettings.keepFree = 0;
    serveSettings.keptShare = 2;  // only the room on the disk bounds them
    Serve();
    httplib::Client http("127.0.0.1", server->port());
    const share::JobStatus first = BuildFor(http, 2);
    ASSERT_EQ(first.state, share::JobState::kDone) << first.problem;
    const share::JobStatus refused = BuildFor(http, 3);
    std::printf("images of %llu and %llu bytes on a disk of %llu: %s\n", taken, asked, size,
                refused.problem.c_str());
    EXPECT_EQ(refused.state, share::JobState::kFailed);
    EXPECT_HAS(refused.problem, "too little free space");
    EXPECT_TRUE(fs::exists(Folder(first))) << "an image its client fetches was removed";
    server->Stop();
    // The same left behind by its client: it makes room.
    serveSettings.fetching = std::chrono::milliseconds(0);
    Serve();
    httplib::Client again("127.0.0.1", server->port());
    const share::JobStatus left = BuildFor(again, 2);
    ASSERT_EQ(left.state, share::JobState::kDone) << left.problem;
    const share::JobStatus next = BuildFor(again, 3);
    EXPECT_EQ(next.state, share::JobState::kDone) << next.problem;
    EXPECT_FALSE(fs::exists(Folder(left)));
    EXPECT_TRUE(fs::exists(Folder(next)));
}

TEST_F(ImageDiskTest, AnImageNobodyFetchesFromIsRemovedByTheTimerAndOneBeingFetchedStays) {
    serveSettings.abandonAfter = std::chrono::milliseconds(1500);
    Serve();
    httplib::Client http("127.0.0.1", server->port());
    const share::JobStatus kept = BuildFor(http, 1), left = BuildFor(http, 2);
    ASSERT_EQ(kept.state, share::JobState::kDone) << kept.problem;
    ASSERT_EQ(left.state, share::JobState::kDone) << left.problem;
    const std::string path = FilePath(kept, kept.files.front().name);
    // One fetched from all the while the timer removes the other, left alone: it stays.
    ASSERT_TRUE(WaitUntil([&] {
        auto res = http.Get(path);
        EXPECT_TRUE(res && res->status == 200);
        return !fs::exists(Folder(left));
    }));
    EXPECT_TRUE(fs::exists(Folder(kept)));
    // Then left alone as well, without any other request: the timer removes it.
    EXPECT_TRUE(WaitUntil([&] { return !fs::exists(Folder(kept)); }));
    EXPECT_EQ(http.Get(path)->status, 404);
}

TEST_F(ImageDiskTest, ABuildThatWouldLeaveTooLittleOfTheDiskFreeIsRefusedWithItsReason) {
    serveSettings.keepFree = 1.0;  // no disk is ever that empty
    Serve();
    httplib::Client http("127.0.0.1", server->port());
    const share::JobStatus refused = BuildImage(http);
    EXPECT_EQ(refused.state, share::JobState::kFailed);
    EXPECT_HAS(refused.problem, "too little free space");
    EXPECT_FALSE(fs::exists(ServerImage()));
}
