// The room a new image of the share server needs: which images it waits for, which give way.
#include <filesystem>

#include "TestEnv.h"
#include "backup/server/ShareImageStore.h"
#include "share/Has.h"

namespace fs = std::filesystem;

class ImageRoomTest : public TempPrefixTest {
  protected:
    // The image of 10:00 to 10:0m kept for a client, with a file of 3 bytes in its folder.
    std::string Kept(ShareImageStore& store, int m) {
        const std::string entry = "2010_05_23=10,00~10,0" + std::to_string(m);
        WriteText(Folder(entry) + "/a.dat", "abc");
        store.Keep({.entry = entry, .files = {{.name = "a.dat", .size = 3}}}, Folder(entry), "");
        return entry;
    }
    std::string Folder(const std::string& entry) const {
        return driveC() + "/NetBackupTemp/" + entry;
    }
};

TEST_F(ImageRoomTest, ImagesBeingFetchedAreKeptWithinTheBoundsAndTheOldestIdleOneGivesWay) {
    constexpr std::chrono::milliseconds kIdle{0};  // every image is taken as left behind
    {
        ShareImageStore store({.keptImages = 2});
        const std::string one = Kept(store, 1), two = Kept(store, 2);
        // Both just made: their clients are about to fetch them, and a third must wait.
        EXPECT_HAS(store.MakeRoom(0), "keeps 2 images for clients already");
        EXPECT_TRUE(fs::exists(Folder(one)) && fs::exists(Folder(two)));
        ASSERT_TRUE(store.Unlist(one));  // as its client deletes it
        EXPECT_EQ(store.MakeRoom(0), "");
    }
    {
        ShareImageStore store({.keptImages = 2, .fetching = kIdle});
        const std::string one = Kept(store, 1), two = Kept(store, 2);
        EXPECT_EQ(store.MakeRoom(0), "");
        EXPECT_FALSE(fs::exists(Folder(one)));
        EXPECT_EQ(store.ImageFilePath(one, "a.dat"), "");
        EXPECT_TRUE(fs::exists(Folder(two)));
    }
    // Without room on the disk for the recording an idle image goes, and still the new one
    // cannot be built; one being fetched stays.
    for (const bool idle : {false, true}) {
        ShareImageStore store(
            {.keepFree = 1.0, .fetching = idle ? kIdle : std::chrono::minutes(1)});
        const std::string one = Kept(store, 1);
        EXPECT_HAS(store.MakeRoom(0), "has too little free space for the image");
        EXPECT_EQ(fs::exists(Folder(one)), !idle);
    }
}
