#include "platform/DrivePaths.h"

#include <sys/stat.h>

#include <filesystem>

#include "TestEnv.h"
#include "platform/DriveTable.h"
#include "platform/FileSystem.h"

using namespace platform;
namespace fs = std::filesystem;

class DrivePathsTest : public TempPrefixTest {};

TEST_F(DrivePathsTest, ResolvesOnCaseSensitiveFileSystem) {
    fs::create_directories(driveC() + "/QorData/20100523/Audio");
    WriteText(driveC() + "/QorData/20100523/20100523.DAT", "x");
    EXPECT_EQ(ResolvePath("C:\\QorData"), driveC() + "/QorData");
    EXPECT_EQ(ResolvePath("c:\\qordata\\20100523\\\\20100523.dat"),
              driveC() + "/QorData/20100523/20100523.DAT");
    EXPECT_EQ(ResolvePath("C:/QORDATA//20100523/audio/"), driveC() + "/QorData/20100523/Audio");
    // Missing components keep the caller's spelling, below the folded existing part.
    EXPECT_EQ(ResolvePath("C:\\qordata\\New\\x.idx"), driveC() + "/QorData/New/x.idx");
    EXPECT_EQ(ResolvePath("C:"), driveC());
    EXPECT_EQ(ResolvePath("C:\\"), driveC());
    // An exact name wins over a case-folded one.
    fs::create_directories(driveC() + "/qordata");
    EXPECT_EQ(ResolvePath("C:\\qordata"), driveC() + "/qordata");
}

TEST_F(DrivePathsTest, DotDotNeverLeavesTheDrive) {
    EXPECT_EQ(ResolvePath("C:\\..\\..\\etc\\passwd"), driveC() + "/etc/passwd");
    EXPECT_EQ(ResolvePath("C:\\a\\..\\..\\b"), driveC() + "/b");
    EXPECT_EQ(ResolvePath("C:\\a\\.\\b"), driveC() + "/a/b");
    EXPECT_EQ(ResolvePath("Q:\\anything"), "");
}

TEST_F(DrivePathsTest, DriveTableServices) {
    std::string e = MapDrive('E', "removable");
    DWORD mask = GetLogicalDrives();
    EXPECT_EQ(mask, (1u << 2) | (1u << 4) | (1u << 25));
    EXPECT_EQ(GetDriveTypeA("C:\\"), DRIVE_FIXED);
    EXPECT_EQ(GetDriveTypeA("e:"), DRIVE_REMOVABLE);
    EXPECT_EQ(GetDriveTypeA("K:\\"), DRIVE_NO_ROOT_DIR);
    std::uint64_t freeBytes = 0, total = 0, totalFree = 0;
    ASSERT_TRUE(GetDiskFreeSpaceExA("E:\\not\\yet\\there", &freeBytes, &total, &totalFree));
    EXPECT_GT(total, 0u);
    EXPECT_LE(freeBytes, total);
    EXPECT_FALSE(GetDiskFreeSpaceExA("K:\\", &freeBytes, &total, &totalFree));
    // Back from host paths: the longest root wins over Z:.
    fs::create_directories(e + "/Backup/Day1");
    EXPECT_EQ(ToDrivePath(e + "/Backup/Day1"), "E:\\Backup\\Day1");
    EXPECT_EQ(ToDrivePath(e), "E:\\");
    EXPECT_EQ(ToDrivePath("/usr/bin"), "Z:\\usr\\bin");
}

TEST_F(DrivePathsTest, DefaultTableWhenMissing) {
    fs::remove(prefix() + "/drives.ini");
    DriveTable table = DriveTable::Load(prefix());
    ASSERT_NE(table.Find('C'), nullptr);
    EXPECT_EQ(table.Find('C')->hostRoot, prefix() + "/drive_c");
    ASSERT_NE(table.Find('Z'), nullptr);
    EXPECT_EQ(table.Find('Z')->hostRoot, "/");
    EXPECT_TRUE(fs::is_directory(prefix() + "/drive_c"));
}

TEST_F(DrivePathsTest, ModulePathEndsInSeparator) {
    std::string module = GetModulePath();
    ASSERT_GE(module.size(), 3u);
    EXPECT_EQ(module[1], ':');
    EXPECT_EQ(module.back(), '\\');
    EXPECT_TRUE(fs::exists(ResolvePath(module + "test_platform")));
}

TEST_F(DrivePathsTest, FoldedLookupsSeeNamesAddedAfterAnEarlierLookup) {
    const std::string dir = driveC() + "/Day";
    WriteText(dir + "/First.DAT", "1");
    // A folder changed long ago: its listing may be kept between lookups.
    const auto old = fs::file_time_type::clock::now() - std::chrono::hours(1);
    fs::last_write_time(dir, old);
    EXPECT_EQ(ResolvePath("C:\\day\\first.dat"), dir + "/First.DAT");
    EXPECT_EQ(ResolvePath("C:\\day\\second.dat"), dir + "/second.dat");  // not there yet
    WriteText(dir + "/Second.DAT", "2");                                 // changes the folder
    EXPECT_EQ(ResolvePath("C:\\day\\second.dat"), dir + "/Second.DAT");
    // And within the same clock tick as the listing.
    WriteText(dir + "/Third.DAT", "3");
    EXPECT_EQ(ResolvePath("C:\\day\\third.dat"), dir + "/Third.DAT");
    fs::remove(dir + "/Third.DAT");
    EXPECT_EQ(ResolvePath("C:\\day\\third.dat"), dir + "/third.dat");
}
