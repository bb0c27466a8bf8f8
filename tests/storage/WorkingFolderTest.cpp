#include "storage/WorkingFolder.h"

#include <cstring>
#include <filesystem>

#include "TestEnv.h"
#include "storage/RecorderPaths.h"

namespace fs = std::filesystem;

class WorkingFolderTest : public TempPrefixTest {
  protected:
    CQuillonApp app;
    RecordingDialogView view;
};

TEST_F(WorkingFolderTest, DeleteFolderTreeRemovesReadOnlyFilesAndNestedFolders) {
    WriteText(driveC() + "/W/a/b/deep.txt", "x");
    WriteText(driveC() + "/W/ro.txt", "y");
    fs::permissions(driveC() + "/W/ro.txt", fs::perms::owner_read, fs::perm_options::replace);
    DeleteFolderTree("C:\\w");
    EXPECT_FALSE(fs::exists(driveC() + "/W"));
    DeleteFolderTree("C:\\missing");  // nothing there, nothing reported
}

TEST_F(WorkingFolderTest, ScheduleTableRoundTripsByteForByte) {
    BackupContext ctx(app, view);
    ctx.m_strExePath = "C:\\Backup\\";
    fs::create_directories(driveC() + "/Backup");  // the program folder exists
    EXPECT_FALSE(LoadScheduleTable(ctx));          // missing file: table left as it was
    ctx.m_Schedule[3].bUsed = 1;
    std::memcpy(ctx.m_Schedule[3].szStart, "201005231400", 12);
    ctx.m_Schedule[3].bCam[40] = 1;
    ctx.m_Schedule[3].nSize = 5003;
    ASSERT_TRUE(SaveScheduleTable(ctx));
    const std::string file = driveC() + "/Backup/Reserved/reserve.dat";
    ASSERT_EQ(fs::file_size(file), 24400u);
    std::string bytes = ReadText(file);
    EXPECT_EQ(bytes[3 * 488], 1);
    EXPECT_EQ(bytes.substr(3 * 488 + 4, 12), "201005231400");
    EXPECT_EQ(bytes[3 * 488 + 36 + 40 * 4], 1);
    BackupContext loaded(app, view);
    loaded.m_strExePath = "C:\\Backup\\";
    ASSERT_TRUE(LoadScheduleTable(loaded));
    EXPECT_EQ(std::memcmp(loaded.m_Schedule.data(), ctx.m_Schedule.data(), 24400), 0);
    ClearReservedFolder(loaded);
    EXPECT_FALSE(fs::exists(driveC() + "/Backup/Reserved"));
    EXPECT_EQ(loaded.m_Schedule[3].bUsed, 0u);
}

TEST_F(WorkingFolderTest, MinuteMapsAreWrittenUpperAndReadLowerCaseByteForByte) {
    BackupContext ctx(app, view);
    fs::create_directories(driveC() + "/Backup/Reserved/2010_05_23=14,00~15,30");
    ctx.m_SelMap[3 * 1440 + 14 * 60 + 5] = 1;
    ctx.m_SelMap[63 * 1440 + 1439] = 1;
    ASSERT_TRUE(SaveMinuteMap(ctx, "C:\\Backup\\Reserved", "2010_05_23=14,00~15,30", "20100523"));
    const std::string host =
        driveC() + "/Backup/Reserved/2010_05_23=14,00~15,30/20100523/20100523.DAT";
    ASSERT_EQ(fs::file_size(host), 92164u);
    const std::string bytes = ReadText(host);
    EXPECT_EQ(std::memcmp(bytes.data(), ctx.m_SelMap.data(), 92164), 0);
    EXPECT_EQ(bytes.substr(92160), std::string(4, '\0'));

    MinuteMapBlock back{};
    ASSERT_TRUE(ReadMinuteMapFile(
        paths::WorkingMinuteMapPath("C:\\Backup", "2010_05_23=14,00~15,30", "20100523"), back));
    EXPECT_EQ(back, ctx.m_SelMap);
}

TEST_F(WorkingFolderTest, DayMapLoadSetsFlagsOnlyForRecordedMinutes) {
    std::string day(92164, '\0');
    day[2 * 1440 + 10 * 60 + 7] = 5;  // any nonzero byte counts as recorded
    day[0 * 1440 + 23 * 60 + 59] = 1;
    WriteText(driveC() + "/QorData/20100523/20100523.dat", day);
    BackupContext ctx(app, view);
    ctx.m_RecMap.fill(9);
    ASSERT_TRUE(ScanRecordedDay(ctx, "20100523"));
    int recorded = 0;
    for (auto b : ctx.m_RecMap)
        recorded += b;
    EXPECT_EQ(recorded, 2);
    EXPECT_EQ(ctx.m_RecMap[2 * 1440 + 10 * 60 + 7], 1);
    EXPECT_TRUE(ctx.m_bHourHasRec[10] && ctx.m_bHourHasRec[23] && !ctx.m_bHourHasRec[11]);
    EXPECT_TRUE(ctx.m_bMinuteHasRec[10 * 60 + 7] && !ctx.m_bMinuteHasRec[10 * 60 + 8]);
    EXPECT_TRUE(ctx.m_bCamExist[0] && ctx.m_bCamExist[2] && !ctx.m_bCamExist[1]);
    EXPECT_FALSE(ScanRecordedDay(ctx, "20100524"));
}
