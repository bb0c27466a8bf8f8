// drives.ini as an operator writes it: the default drives stay unless named, a writer needs no
// Path=, and a section the table cannot use is told, never dropped without a word.
#include "platform/DriveTable.h"

#include <filesystem>

#include "TestEnv.h"
#include "platform/DrivePaths.h"

using namespace platform;
namespace fs = std::filesystem;

class DriveTableTest : public TempPrefixTest {
  protected:
    void Table(const std::string& text) { WriteText(prefix() + "/drives.ini", text); }
    std::string ini() const { return prefix() + "/drives.ini"; }
};

TEST_F(DriveTableTest, ATableWithoutCOrZKeepsTheirDefaultsAndDoesNotWriteThemBack) {
    fs::create_directories(prefix() + "/usb");
    Table("[E:]\nPath=" + prefix() + "/usb\nType=removable\n");
    DriveTable table = DriveTable::Load(prefix());
    ASSERT_NE(table.Find('C'), nullptr);
    EXPECT_EQ(table.Find('C')->hostRoot, driveC());
    ASSERT_NE(table.Find('Z'), nullptr);
    EXPECT_EQ(table.Find('Z')->hostRoot, "/");
    ASSERT_NE(table.Find('E'), nullptr);
    EXPECT_TRUE(table.problems().empty());
    EXPECT_EQ(ResolvePath("C:\\QorData"), driveC() + "/QorData");
    EXPECT_EQ(ToDrivePath("/usr/bin"), "Z:\\usr\\bin");
    // Saved again, the table stays the operator's: the defaults are not written into it.
    ASSERT_TRUE(table.Save(prefix()));
    EXPECT_EQ(ReadText(ini()).find("[C:]"), std::string::npos) << ReadText(ini());

    // A table that names C: has its own.
    fs::create_directories(prefix() + "/other_c");
    Table("[C:]\nPath=" + prefix() + "/other_c\n");
    EXPECT_EQ(DriveTable::Load(prefix()).Find('C')->hostRoot, prefix() + "/other_c");
}

TEST_F(DriveTableTest, AWriterNeedsNoPathAndHasNoFilesOfItsOwn) {
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
    EXPECT_EQ(ReadText(ini()).find("Path="), std::string::npos) << ReadText(ini());
    EXPECT_NE(DriveTable::Load(prefix()).Find('D'), nullptr);
}

TEST_F(DriveTableTest, SectionsThatCannotBeUsedAreToldAndTheGoodOnesKept) {
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
    for (char gone : {'F', 'G', 'H', 'J', 'K'}) {
        EXPECT_EQ(table.Find(gone), nullptr) << gone;
        const std::string why = table.ProblemsOf(gone);
        EXPECT_NE(why.find(ini() + " [" + std::string(1, gone) + ":]: "), std::string::npos) << why;
        EXPECT_NE(why.find("; the section is not used"), std::string::npos) << why;
    }
    EXPECT_NE(table.ProblemsOf('F').find("is a folder"), std::string::npos);
    EXPECT_NE(table.ProblemsOf('G').find("Media=bluray is none of"), std::string::npos);
    EXPECT_NE(table.ProblemsOf('H').find("no Path="), std::string::npos);
    EXPECT_NE(table.ProblemsOf('J').find("needs Device="), std::string::npos);
    EXPECT_NE(table.ProblemsOf('K').find("Type=floppy"), std::string::npos);
    ASSERT_EQ(table.problems().size(), 6u);
    EXPECT_NE(table.problems().back().text.find("[Backup]: not a drive letter"), std::string::npos);
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

TEST_F(DriveTableTest, AFolderToMakeMustLieBelowAWritableFolder) {
    const std::string e = MapDrive('E', "removable");
    EXPECT_EQ(FolderCreationProblem("E:\\"), "");
    EXPECT_EQ(FolderCreationProblem("E:\\New\\Deeper"), "");
    EXPECT_FALSE(fs::exists(e + "/New"));  // only looked at
    WriteText(e + "/file", "x");
    EXPECT_EQ(FolderCreationProblem("E:\\file"), e + "/file is a file, not a folder");
    EXPECT_EQ(FolderCreationProblem("E:\\file\\Backup"), e + "/file is a file, not a folder");
    EXPECT_NE(FolderCreationProblem("Q:\\Backup"), "");
    // A stick that is not mounted: its mount folder is not made on the host's disc.
    fs::remove_all(e);
    EXPECT_EQ(FolderCreationProblem("E:\\Backup"), "the drive's folder " + e + " is not there");
    const std::string ro = MountTinyDrive('R', "size=64k", true);
    if (ro.empty())
        GTEST_SKIP() << "this machine lets the test mount no read-only drive";
    EXPECT_NE(FolderCreationProblem("R:\\Backup").find("nothing can be written in " + ro),
              std::string::npos);
}
