// What the clients' images may take of the recorder's disk together: only the files the server
// wrote count, and one image alone may take what the recording leaves free.
#include "backup/server/ShareImageStore.h"

#include "TestEnv.h"

class ShareImageStoreTest : public TempPrefixTest {};

TEST_F(ShareImageStoreTest, ImagesBeingFetchedKeepTheirShareOfTheDiskAndServedFilesTakeNone) {
    ShareImageStore::Limits limits;
    limits.keepFree = 0;
    limits.keptShare = 1e-12;  // no two images fit beside each other
    ShareImageStore store(limits);
    EXPECT_EQ(store.MakeRoom(1000000), "");  // the first alone
    ShareImage served;
    served.entry = "2010_05_23=10,00~10,01";
    served.files.push_back({"201005231000N.dat", 1000000, "", "C:\\QorData\\x", {}});
    store.Keep(served, "", "");
    EXPECT_EQ(store.MakeRoom(0), "");  // served from the recordings: nothing of the disk
    ShareImage written = served;
    written.files.front().source.clear();
    store.Keep(written, "/built", "");
    EXPECT_NE(store.MakeRoom(0).find("past the share of its disk kept for images"),
              std::string::npos);
}

TEST_F(ShareImageStoreTest,
       AFileServedFromTheRecordingsIsTheCopysOnceTheCopyHasItAndOnlyOurPathsAreRemoved) {
    const std::string entry = "2010_05_23=10,00~10,01";
    ShareImageStore store({});
    store.Begin(entry, "", "");  // a direct listing that gave up after its first file
    store.Add(entry, {"201005231000N.dat", 1, "", "/rec/201005231000N.dat", {}});
    store.Begin(entry, "/built", "");
    EXPECT_EQ(store.ImageFilePath(entry, "201005231000N.dat"), "/rec/201005231000N.dat");
    store.Replace(entry, "/built", {"201005231000N.dat", 1, "", "", {}});
    EXPECT_EQ(store.ImageFilePath(entry, "201005231000N.dat"), "/built/201005231000N.dat");
    EXPECT_EQ(ShareImageStore::EntryOf("C:\\NetBackupTemp\\" + entry), entry);
    EXPECT_EQ(ShareImageStore::EntryOf("D:\\NetBackupTemp\\" + entry), "");
}

TEST_F(ShareImageStoreTest, AnImageLeftBehindGivesWayToAnotherClientsBuildOfItsEntry) {
    ShareImage image;
    image.entry = "2010_05_23=10,00~10,01";
    ShareImageStore busy({});
    busy.Keep(image, "", "a");
    EXPECT_NE(busy.Claim(image.entry, "b").find("another client"), std::string::npos);
    ShareImageStore::Limits left;
    left.abandonAfter = std::chrono::milliseconds(0);
    ShareImageStore idle(left);
    idle.Keep(image, "", "a");
    EXPECT_EQ(idle.Claim(image.entry, "b"), "");
}
