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
