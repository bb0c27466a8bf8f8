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
    // Images just made are being fetched; with no time for that, every one is left behind.
    for (const auto fetching : {std::chrono::milliseconds(60000), std::chrono::milliseconds(0)}) {
        const bool idle = fetching.count() == 0;
        ShareImageStore store({.keptImages = 2, .fetching = fetching});
        const std::string one = Kept(store, 1), two = Kept(store, 2);
        // A third waits while both are fetched, or the oldest gives way to it.
        EXPECT_EQ(store.MakeRoom(0).find("keeps 2 images for clients already") == std::string::npos,
                  idle);
        EXPECT_EQ(fs::exists(Folder(one)), !idle);
        EXPECT_EQ(store.ImageFilePath(one, "a.dat").empty(), idle);
        EXPECT_TRUE(fs::exists(Folder(two)));
        store.Unlist(one);  // as its client deletes it
        EXPECT_EQ(store.MakeRoom(0), "");
        // Without room on the disk for the recording an idle image goes, and still the new one
        // cannot be built.
        ShareImageStore full({.keepFree = 1.0, .fetching = fetching});
        const std::string kept = Kept(full, 1);
        EXPECT_HAS(full.MakeRoom(0), "has too little free space for the image");
        EXPECT_EQ(fs::exists(Folder(kept)), !idle);
    }
}
