// The recorder's disk under the server's temporary images.
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
    // The same, which must be built.
    share::JobStatus Built(httplib::Client& http, int lastMinute) {
        const share::JobStatus status = BuildFor(http, lastMinute);
        EXPECT_EQ(status.state, share::JobState::kDone) << status.problem;
        return status;
    }
    std::string Folder(const share::JobStatus& status) const {
        return driveC() + "/NetBackupTemp/" + status.entry;
    }
    // The server's temporary folder on a tmpfs of `bytes`; false when the system gives none.
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

// Which images give way to a new one is ImageRoomTest's; here the room a build asks for.
TEST_F(ImageDiskTest, ABuildIsRefusedWhenTheDiskHasNoRoomForItsEstimateBesideAnImageBeingFetched) {
    // What the image of 10:00 to 10:02 takes on the test machine's disk, and what the server
    // asks for the one of 10:00 to 10:03 before building it.
    Serve();
    httplib::Client probe("127.0.0.1", server->port());
    Built(probe, 2);
    unsigned long long taken = 0;
    for (const auto& [name, bytes] : FilesBelow(driveC() + "/NetBackupTemp"))
        taken += bytes.size();
    _BACKUPADDTOTALSIZE ask = SizeRequest(server->service().IndexReply(kDay));
    const unsigned long long asked = server->service().AddSize(ask).nSize * 1024ull;
    // A disk with room for the second alone, not beside the first.
    const unsigned long long size = asked + taken / 2;
    ASSERT_TRUE(SmallDisk(size)) << "no tmpfs for the test";
    serveSettings.keepFree = 0;
    serveSettings.keptShare = 2;  // only the room on the disk bounds them
    Serve();
    httplib::Client http("127.0.0.1", server->port());
    const share::JobStatus first = Built(http, 2);
    const share::JobStatus refused = BuildFor(http, 3);
    std::printf("images of %llu and %llu bytes on a disk of %llu: %s\n", taken, asked, size,
                refused.problem.c_str());
    EXPECT_EQ(refused.state, share::JobState::kFailed);
    EXPECT_HAS(refused.problem, "too little free space");
    EXPECT_TRUE(fs::exists(Folder(first))) << "an image its client fetches was removed";
    EXPECT_FALSE(fs::exists(ServerImage()));
}

TEST_F(ImageDiskTest, AnImageNobodyFetchesFromIsRemovedByTheTimerAndOneBeingFetchedStays) {
    serveSettings.abandonAfter = std::chrono::milliseconds(1500);
    Serve();
    httplib::Client http("127.0.0.1", server->port());
    const share::JobStatus kept = Built(http, 1), left = Built(http, 2);
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
