// Drive paths on the host and drives.ini as an operator writes it: names fold to the case on the
// disc, the default drives stay unless named, a writer needs no Path=, and a section the table
// cannot use is told, never dropped without a word.
#include "platform/DrivePaths.h"

#include <filesystem>

#include "TestEnv.h"
#include "platform/DriveTable.h"
#include "platform/FileSystem.h"
#include "share/Has.h"

using namespace platform;
namespace fs = std::filesystem;

class DrivePathsTest : public TempPrefixTest {
  protected:
    void Table(const std::string& text) { WriteText(ini(), text); }
    std::string ini() const { return prefix() + "/drives.ini"; }
};

TEST_F(DrivePathsTest, ResolvesOnCaseSensitiveFileSystemAndNeverLeavesTheDrive) {
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

    EXPECT_EQ(ResolvePath("C:\\..\\..\\etc\\passwd"), driveC() + "/etc/passwd");
    EXPECT_EQ(ResolvePath("C:\\a\\..\\..\\b"), driveC() + "/b");
    EXPECT_EQ(ResolvePath("C:\\a\\.\\b"), driveC() + "/a/b");
    EXPECT_EQ(ResolvePath("Q:\\anything"), "");

    const std::string module = GetModulePath();
    ASSERT_GE(module.size(), 3u);
    EXPECT_EQ(module[1], ':');
    EXPECT_EQ(module.back(), '\\');
    EXPECT_TRUE(fs::exists(ResolvePath(module + "test_platform")));
}

TEST_F(DrivePathsTest, DriveTableServices) {
    std::string e = MapDrive('E', "removable");
    EXPECT_EQ(GetLogicalDrives(), (1u << 2) | (1u << 4) | (1u << 25));
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

TEST_F(DrivePathsTest, FoldedLookupsSeeNamesAddedAfterAnEarlierLookup) {
    const std::string dir = driveC() + "/Day";
    WriteText(dir + "/First.DAT", "1");
    // A folder changed long ago: its listing may be kept between lookups.
    fs::last_write_time(dir, fs::file_time_type::clock::now() - std::chrono::hours(1));
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

TEST_F(DrivePathsTest, ATableWithoutCOrZKeepsTheirDefaultsAndDoesNotWriteThemBack) {
    // No table at all: the defaults, and C:'s folder made.
    fs::remove_all(driveC());
    fs::remove(ini());
    DriveTable table = DriveTable::Load(prefix());
    EXPECT_TRUE(fs::is_directory(driveC()));
    fs::create_directories(prefix() + "/usb");
    Table("[E:]\nPath=" + prefix() + "/usb\nType=removable\n");
    for (const DriveTable& t : {table, DriveTable::Load(prefix())}) {
        ASSERT_NE(t.Find('C'), nullptr);
        EXPECT_EQ(t.Find('C')->hostRoot, driveC());
        ASSERT_NE(t.Find('Z'), nullptr);
        EXPECT_EQ(t.Find('Z')->hostRoot, "/");
        EXPECT_TRUE(t.problems().empty());
    }
    table = DriveTable::Load(prefix());
    ASSERT_NE(table.Find('E'), nullptr);
    EXPECT_EQ(ResolvePath("C:\\QorData"), driveC() + "/QorData");
    // Saved again, the table stays the operator's: the defaults are not written into it.
    ASSERT_TRUE(table.Save(prefix()));
    EXPECT_LACKS(ReadText(ini()), "[C:]");

    // A table that names C: has its own.
    fs::create_directories(prefix() + "/other_c");
    Table("[C:]\nPath=" + prefix() + "/other_c\n");
    EXPECT_EQ(DriveTable::Load(prefix()).Find('C')->hostRoot, prefix() + "/other_c");
}

TEST_F(DrivePathsTest, AWriterNeedsNoPathAndHasNoFilesOfItsOwn) {
    Table("[D:]\nType=cdrom\nDevice=stdio:" + prefix() + "/disc-d.iso\nMedia=dvd+rw\n" +
          "CapacityMB=4482\n");
    DriveTable table = DriveTable::Load(prefix());
    ASSERT_NE(table.Find('D'), nullptr)
        << (table.problems().empty() ? "" : table.problems()[0].text);
    EXPECT_EQ(table.Find('D')->type, DRIVE_CDROM);
    EXPECT_EQ(table.Find('D')->device, "stdio:" + prefix() + "/disc-d.iso");
    EXPECT_EQ(table.Find('D')->capacityMB, 4482);
    EXPECT_EQ(GetDriveTypeA("D:\\"), DRIVE_CDROM);
    // Not the host's root: a path on it leads nowhere.
    EXPECT_EQ(ResolvePath("D:\\etc"), "");
    EXPECT_EQ(ToDrivePath("/etc"), "Z:\\etc");
    ASSERT_TRUE(table.Save(prefix()));
    EXPECT_LACKS(ReadText(ini()), "Path=");
    EXPECT_NE(DriveTable::Load(prefix()).Find('D'), nullptr);
}

TEST_F(DrivePathsTest, SectionsThatCannotBeUsedAreToldAndTheGoodOnesKept) {
    fs::create_directories(prefix() + "/a-folder");
    Table("[D:]\nType=cdrom\nDevice=stdio:" + prefix() + "/good.iso\nMedia=cd-r\n" +
          "[F:]\nType=cdrom\nDevice=stdio:" + prefix() + "/a-folder\n" +
          "[G:]\nType=cdrom\nDevice=stdio:" + prefix() + "/g.iso\nMedia=bluray\n" +
          "[H:]\nType=removable\n" +        // no Path=
          "[J:]\nType=cdrom\n" +            // neither Device= nor Path=
          "[K:]\nPath=/tmp\nType=floppy\n"  // no such type
          "[Backup]\nPath=/tmp\n");
    DriveTable table = DriveTable::Load(prefix());
    EXPECT_NE(table.Find('D'), nullptr);
    const std::pair<char, const char*> gone[] = {{'F', "is a folder"},
                                                 {'G', "Media=bluray is none of"},
                                                 {'H', "no Path="},
                                                 {'J', "needs Device="},
                                                 {'K', "Type=floppy"}};
    for (const auto& [letter, what] : gone) {
        EXPECT_EQ(table.Find(letter), nullptr) << letter;
        const std::string why = table.ProblemsOf(letter);
        EXPECT_HAS(why, ini() + " [" + std::string(1, letter) + ":]: ");
        EXPECT_HAS(why, "; the section is not used");
        EXPECT_HAS(why, what);
    }
    ASSERT_EQ(table.problems().size(), 6u);
    EXPECT_HAS(table.problems().back().text, "[Backup]: not a drive letter");
    EXPECT_EQ(table.ProblemsOf('D'), "");

    // A program that saves the table keeps what it could not use, unless it set that drive.
    table.Set({'F', prefix() + "/a-folder", DRIVE_FIXED, ""});
    ASSERT_TRUE(table.Save(prefix()));
    const DriveTable again = DriveTable::Load(prefix());
    EXPECT_EQ(again.problems().size(), 5u);
    EXPECT_EQ(again.ProblemsOf('G'), table.ProblemsOf('G'));
    EXPECT_EQ(again.ProblemsOf('F'), "");
    EXPECT_NE(again.Find('F'), nullptr);
}

TEST_F(DrivePathsTest, AFolderToMakeMustLieBelowAWritableFolder) {
    // What the check says, "made" when the folder could be; and the kind of what it refused.
    using Kind = platform::Error::Kind;
    const auto said = [](const std::string& path, Kind kind = Kind::kRefused) {
        const platform::Outcome made = CheckFolderCreation(path);
        EXPECT_TRUE(made || made.error().kind == kind) << path;
        return made ? std::string("made") : made.error().Said();
    };
    const std::string e = MapDrive('E', "removable");
    EXPECT_EQ(said("E:\\"), "made");
    EXPECT_EQ(said("E:\\New\\Deeper"), "made");
    EXPECT_FALSE(fs::exists(e + "/New"));  // only looked at
    WriteText(e + "/file", "x");
    EXPECT_EQ(said("E:\\file"), e + "/file is a file, not a folder");
    EXPECT_EQ(said("E:\\file\\Backup"), e + "/file is a file, not a folder");
    EXPECT_NE(said("Q:\\Backup", Kind::kNotFound), "made");
    // A stick that is not mounted: its mount folder is not made on the host's disc.
    fs::remove_all(e);
    EXPECT_EQ(said("E:\\Backup", Kind::kNotFound), "the drive's folder " + e + " is not there");
    const std::string ro = MountTinyDrive('R', "size=64k", true);
    if (ro.empty())
        GTEST_SKIP() << "this machine lets the test mount no read-only drive";
    EXPECT_HAS(said("R:\\Backup"), "nothing can be written in " + ro);
}
