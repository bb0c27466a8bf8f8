// The manifest a pass writes into a folder target: one of an earlier image there is kept as it
// was under the next older name, and one the target will not take fails the pass once and keeps
// every entry, since nothing of the image could be checked.
#include "PassTest.h"

using ImageManifestFolderTest = PassTest;

TEST_F(ImageManifestFolderTest, ASecondBackupIntoTheFolderKeepsTheFirstManifestBesideItsOwn) {
    RecordDay(600, 604);
    Add("10", "00", "10", "01");
    Run();
    const std::string first = Manifest();
    EXPECT_HAS(first, "  2010_05_23=10,00~10,01/");
    Add("10", "03", "10", "04");
    Run();
    EXPECT_EQ(ReadText(out + "/Backup/SHA256SUMS-1"), first);
    EXPECT_LACKS(Manifest(), "10,00~10,01");
    EXPECT_HAS(Manifest(), "  2010_05_23=10,03~10,04/");
    EXPECT_EQ(Sha256sumCheck(out + "/Backup"), 0);
}

TEST_F(ImageManifestFolderTest, AManifestTheTargetWillNotTakeFailsThePassOnceAndKeepsTheEntry) {
    RecordDay(600, 601);
    fs::create_directories(out + "/Backup/SHA256SUMS/taken");
    Add("10", "00", "10", "01");
    Run();
    EXPECT_THAT(ctx.m_run.report.failures(), ElementsAre(HasSubstr("the manifest")));
    EXPECT_EQ(ctx.m_schedule.rows.size(), 1u);
}
