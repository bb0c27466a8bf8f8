// What the recorder side answers: a client's request reaches the recorder's disk only when it
// names one day within the schedule and cameras; the images the clients fetch, one client's at a
// time, with their share of the disk; and what a build leaves behind.
#include "backup/server/ShareImageStore.h"

#include <atomic>
#include <cstring>
#include <filesystem>

#include "BackupFixture.h"
#include "backup/server/ShareRequest.h"
#include "backup/server/ShareService.h"
#include "share/Has.h"

namespace fs = std::filesystem;

TEST(ShareRequestTest, AnImageRequestOutsideTheScheduleOrOneDayIsRefused) {
    _BACKUPMAKEIMAGE good{};
    good.nSlot = kScheduleSlots - 1;
    SetKeys(good.entry, "201005231000", "201005231001");
    EXPECT_EQ(ImageRequestProblem(good), "");
    const auto refused = [&](int slot, const char* start, const char* end) {
        _BACKUPMAKEIMAGE r = good;
        r.nSlot = slot;
        SetKeys(r.entry, start, end);
        return ImageRequestProblem(r) == kNotAnEntryOfOneDay;
    };
    EXPECT_TRUE(refused(kScheduleSlots, "201005231000", "201005231001"));
    EXPECT_TRUE(refused(-1, "201005231000", "201005231001"));
    EXPECT_TRUE(refused(0, "201005231000", "201005241001"));  // two days
    EXPECT_TRUE(refused(0, "201005231001", "201005231000"));  // backwards
    EXPECT_TRUE(refused(0, "20100523100x", "201005231001"));
    EXPECT_TRUE(refused(0, "2010052310", "2010052310"));
}

TEST(ShareRequestTest, ASizeRequestIsDigitsAndCountsNoMoreCamerasThanARecorderHas) {
    _BACKUPADDTOTALSIZE request{};
    std::memcpy(request.szDay, "20100523", 8);
    std::memcpy(request.szStart, "1000", 4);
    std::memcpy(request.szEnd, "1001", 4);
    EXPECT_TRUE(SizeRequestWellFormed(request));
    request.nCamCount = 1000;
    EXPECT_EQ(SizeRequestHost(ServedHost("C:\\QorData", 4, 0x670), request).camCount, kMaxCameras);
    EXPECT_EQ(ServedHost("C:\\QorData", 1000, 0x670).camCount, kMaxCameras);
    request.szEnd[3] = ' ';
    EXPECT_FALSE(SizeRequestWellFormed(request));
}

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
    EXPECT_HAS(store.MakeRoom(0), "past the share of its disk kept for images");
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
    EXPECT_HAS(busy.Claim(image.entry, "b"), "another client");
    ShareImageStore::Limits left;
    left.abandonAfter = std::chrono::milliseconds(0);
    ShareImageStore idle(left);
    idle.Keep(image, "", "a");
    EXPECT_EQ(idle.Claim(image.entry, "b"), "");
}

using ShareServiceTest = BackupFixture;

TEST_F(ShareServiceTest, OneClientsImageIsNotReplacedUnderItAndLeftoversGoAtStart) {
    RecordDay(600, 601, 0, 2);
    const std::string temp = driveC() + "/NetBackupTemp/";
    WriteText(temp + "2010_05_22=09,00~09,01/20100522/x.dat", "left");
    ShareService::Settings settings;
    settings.storageRoot = "C:\\QorData";
    settings.cameras = 2;
    ShareService server(settings);
    EXPECT_FALSE(fs::exists(temp + "2010_05_22=09,00~09,01"));

    _BACKUPMAKEIMAGE request{};
    request.nSlot = 0;
    request.entry.bUsed = 1;
    request.entry.bAllCam = 1;
    SetKeys(request.entry, "201005231000", "201005231001");
    std::atomic<bool> cancel{false};
    const ShareService::Image first = server.MakeImage(request, nullptr, cancel);
    ASSERT_EQ(first.problem, "");
    ASSERT_FALSE(first.files.empty());
    const ShareService::Image second = server.MakeImage(request, nullptr, cancel);
    EXPECT_HAS(second.problem, "another client");
    EXPECT_EQ(second.entry, "");
    EXPECT_NE(server.ImageFilePath(first.entry, first.files[0].name), "");  // still whole
    EXPECT_TRUE(server.DeleteTemp("C:\\NetBackupTemp\\" + first.entry));
    EXPECT_EQ(server.MakeImage(request, nullptr, cancel).problem, "");

    // A client that asks for the entry again has lost what it had (it was killed): its own
    // image is built anew at once, while another's stays refused as the first's was.
    const std::string a(32, 'a'), b(32, 'b');
    ASSERT_TRUE(server.DeleteTemp("C:\\NetBackupTemp\\" + first.entry));
    ASSERT_EQ(server.MakeImage(request, nullptr, cancel, nullptr, nullptr, a).problem, "");
    EXPECT_HAS(server.MakeImage(request, nullptr, cancel, nullptr, nullptr, b).problem,
               "another client");
    EXPECT_HAS(server.MakeImage(request, nullptr, cancel).problem, "another client");
    const ShareService::Image again =
        server.MakeImage(request, nullptr, cancel, nullptr, nullptr, a);
    EXPECT_EQ(again.problem, "");
    ASSERT_FALSE(again.files.empty());
    EXPECT_NE(server.ImageFilePath(again.entry, again.files[0].name), "");
    EXPECT_HAS(server.MakeImage(request, nullptr, cancel, nullptr, nullptr, b).problem,
               "another client");
}

TEST_F(ShareServiceTest, ABuildCancelledWhileItCopiesLeavesNoFolderBehind) {
    RecordDay(600, 603, 0);
    ShareService::Settings settings;
    settings.storageRoot = "C:\\QorData";
    ShareService server(settings);
    _BACKUPMAKEIMAGE request{};
    request.entry.bCam[0] = 1;  // one camera: copied, not served from the recordings
    SetKeys(request.entry, "201005231000", "201005231003");
    std::atomic<bool> cancel{false};
    const ShareService::Image image = server.MakeImage(
        request, [&](const std::string&, auto, auto) { cancel = true; }, cancel);
    EXPECT_TRUE(image.cancelled);
    ASSERT_NE(image.entry, "");
    EXPECT_FALSE(fs::exists(driveC() + "/NetBackupTemp/" + image.entry));
}
