// Where quillon-share builds its images must take a file before it serves: else the start says
// which folder, where on this machine, and why. The program's own source, built in here.
#include "../../src/tools/share/StartupChecks.cpp"

#include "Has.h"
#include "ScopedEnv.h"
#include "TestEnv.h"

class WorkingFolderTest : public TempPrefixTest {};

TEST_F(WorkingFolderTest, AFolderThatCannotBeWrittenIsNamedWithItsHostPathAndWhy) {
    EXPECT_EQ(WorkingFolderProblem(), "");
    // A service user without a home it may write: the default prefix lies below that home.
    const std::string home = prefix() + "/home-is-a-file";
    WriteText(home, "");
    {
        ScopedEnv noPrefix("QUILLON_PREFIX", nullptr);
        ScopedEnv fileHome("HOME", home);
        const std::string problem = WorkingFolderProblem();
        EXPECT_HAS(problem, "the working folder C:\\NetBackupTemp\\Reserved (" + home +
                                "/.local/share/quillon/drive_c/NetBackupTemp/Reserved)");
        EXPECT_HAS(problem,
                   "QUILLON_PREFIX is not set, so the prefix is " + home + "/.local/share/quillon");
    }
    // A drive that takes no writes at all, where this machine lets the test mount one.
    if (MountTinyDrive('C', "size=64k", true).empty())
        return;
    EXPECT_HAS(WorkingFolderProblem(), "the working folder C:\\NetBackupTemp\\Reserved");
    EXPECT_HAS(WorkingFolderProblem(), "Read-only file system");
}
