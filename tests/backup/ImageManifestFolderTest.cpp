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
    EXPECT_HAS(first, "  report.json\n");
    const std::string firstReport = ReadText(out + "/Backup/report.json");
    Add("10", "03", "10", "04");
    Run();
    EXPECT_EQ(ReadText(out + "/Backup/SHA256SUMS-1"), first);
    EXPECT_LACKS(Manifest(), "10,00~10,01");
    EXPECT_HAS(Manifest(), "  2010_05_23=10,03~10,04/");
    // Each image has its own report: the first one's stays what its manifest vouches for.
    EXPECT_HAS(Manifest(), "  report-2.json\n");
    EXPECT_LACKS(Manifest(), "  report.json\n");
    EXPECT_EQ(ReadText(out + "/Backup/report.json"), firstReport);
    EXPECT_EQ(Sha256sumCheck(out + "/Backup"), 0);
    EXPECT_EQ(Sha256sumCheck(out + "/Backup", "SHA256SUMS-1"), 0);
    // A third takes the next pair of names, the first two being listed by older manifests.
    Add("10", "02", "10", "02");
    Run();
    EXPECT_HAS(Manifest(), "  report-3.json\n");
    for (const char* manifest : {"SHA256SUMS", "SHA256SUMS-1", "SHA256SUMS-2"})
        EXPECT_EQ(Sha256sumCheck(out + "/Backup", manifest), 0) << manifest;
}

TEST_F(ImageManifestFolderTest, AnOlderManifestCutShortStillKeepsItsImagesReport) {
    RecordDay(600, 604);
    Add("10", "00", "10", "01");
    Run();
    const std::string firstReport = ReadText(out + "/Backup/report.json");
    const std::string firstManifest = Manifest();
    Add("10", "03", "10", "04");
    Run();
    // Cut inside its second line: it lists no report now, though one is there.
    const std::string cut = firstManifest.substr(0, firstManifest.find('\n') + 30);
    WriteText(out + "/Backup/SHA256SUMS-1", cut);
    Add("10", "02", "10", "02");
    Run();
    EXPECT_EQ(ReadText(out + "/Backup/report.json"), firstReport);
    EXPECT_HAS(Manifest(), "  report-3.json\n");
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
