// Where a program finds its data and its base folder, in a build tree and installed, and how an
// installed program readies its base folder in the machine prefix.
#include "platform/ProgramFolders.h"

#include <filesystem>

#include "TestEnv.h"
#include "share/Has.h"

namespace fs = std::filesystem;
using platform::FoldersOfProgramIn;
using platform::PrepareBaseFolder;
using platform::ProgramFolders;

static const std::string kInstalled = "../share/quillon";

class ProgramFoldersTest : public TempPrefixTest {
  protected:
    // An install below prefix()/usr: programs in bin, the data in share/quillon.
    ProgramFolders Install() {
        usr = prefix() + "/usr";
        fs::create_directories(usr + "/bin");
        WriteText(usr + "/share/quillon/GUIS/btn.pos", "[Buttons]\n");
        WriteText(usr + "/share/quillon/Other/ReadMe.txt", "the viewer\n");
        WriteText(usr + "/share/quillon/Language.eng", "[BACKUP]\n");
        return FoldersOfProgramIn(usr + "/bin", kInstalled);
    }
    std::string usr;
};

TEST_F(ProgramFoldersTest, ABuildTreeKeepsDataAndBaseBesideItsPrograms) {
    const std::string bin = prefix() + "/build/bin";
    WriteText(bin + "/GUIS/btn.pos", "[Buttons]\n");
    // An installed data folder above it is not the build tree's.
    WriteText(prefix() + "/build/share/quillon/GUIS/btn.pos", "[Buttons]\n");
    const ProgramFolders f = FoldersOfProgramIn(bin, kInstalled);
    EXPECT_FALSE(f.installed);
    EXPECT_EQ(f.data, bin);
    EXPECT_EQ(f.base, bin);
    const auto before = EntriesBelow(prefix());
    EXPECT_TRUE(PrepareBaseFolder(f));
    EXPECT_EQ(EntriesBelow(prefix()), before);

    // Without data anywhere the program's folder stays what it was.
    const ProgramFolders bare = FoldersOfProgramIn(prefix() + "/elsewhere", kInstalled);
    EXPECT_FALSE(bare.installed);
    EXPECT_EQ(bare.base, prefix() + "/elsewhere");
}

TEST_F(ProgramFoldersTest, AnInstalledProgramReadsTheInstalledDataAndKeepsItsBaseInThePrefix) {
    const ProgramFolders f = Install();
    ASSERT_TRUE(f.installed);
    EXPECT_EQ(f.data, fs::canonical(usr + "/share/quillon").string());
    EXPECT_EQ(f.base, prefix() + "/base");

    const auto installed = EntriesBelow(usr);
    ASSERT_TRUE(PrepareBaseFolder(f));
    // Every entry of the data reads through the base folder, and nothing was written below usr.
    EXPECT_EQ(ReadText(f.base + "/GUIS/btn.pos"), "[Buttons]\n");
    EXPECT_EQ(ReadText(f.base + "/Other/ReadMe.txt"), "the viewer\n");
    EXPECT_EQ(ReadText(f.base + "/Language.eng"), "[BACKUP]\n");
    EXPECT_TRUE(fs::is_symlink(f.base + "/GUIS"));
    EXPECT_EQ(EntriesBelow(usr), installed);
    // As a drive path the base folder lies on C: when the prefix is there.
    EXPECT_EQ(platform::DriveFolderOf(driveC() + "/Quillon"), "C:\\Quillon\\");
}

TEST_F(ProgramFoldersTest, ReadyingKeepsTheOperatorsOwnAndMendsLinksThatLeadNowhere) {
    const ProgramFolders f = Install();
    fs::create_directories(f.base);
    WriteText(f.base + "/Language.eng", "the operator's own texts\n");
    WriteText(f.base + "/Reserved/reserve.dat", "schedule");
    WriteText(prefix() + "/mine/notes.txt", "notes");
    fs::create_symlink(prefix() + "/mine", f.base + "/Notes");           // leads somewhere
    fs::create_symlink(prefix() + "/old/Other", f.base + "/Other");      // an install moved away
    fs::create_symlink(prefix() + "/old/Retired", f.base + "/Retired");  // gone from the data
    fs::create_symlink(prefix() + "/old/GUIS", f.base + "/GUIS.1.quillon-part");  // killed runs'
    fs::create_symlink(usr + "/share/quillon/Other", f.base + "/Other.2.quillon-part");

    ASSERT_TRUE(PrepareBaseFolder(f));
    EXPECT_EQ(ReadText(f.base + "/Language.eng"), "the operator's own texts\n");
    EXPECT_EQ(ReadText(f.base + "/Reserved/reserve.dat"), "schedule");
    EXPECT_EQ(ReadText(f.base + "/Notes/notes.txt"), "notes");
    EXPECT_EQ(ReadText(f.base + "/Other/ReadMe.txt"), "the viewer\n");
    EXPECT_EQ(ReadText(f.base + "/GUIS/btn.pos"), "[Buttons]\n");
    EXPECT_FALSE(fs::exists(fs::symlink_status(f.base + "/Retired")));
    EXPECT_FALSE(fs::exists(fs::symlink_status(f.base + "/GUIS.1.quillon-part")));
    EXPECT_FALSE(fs::exists(fs::symlink_status(f.base + "/Other.2.quillon-part")));

    // A second start finds everything in place and changes nothing.
    const auto ready = EntriesBelow(f.base);
    ASSERT_TRUE(PrepareBaseFolder(f));
    EXPECT_EQ(EntriesBelow(f.base), ready);
}

TEST_F(ProgramFoldersTest, ABaseFolderThatCannotBeMadeIsSaid) {
    const ProgramFolders f = Install();
    WriteText(f.base, "a file where the folder should be");
    const platform::Outcome ready = PrepareBaseFolder(f);
    ASSERT_FALSE(ready);
    EXPECT_HAS(ready.error().Said(), f.base);
}
