// What the clients' images may take of the recorder's disk together: only the files the server
// wrote count, and one image alone may take what the recording leaves free.
#include "backup/ShareImageStore.h"

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
