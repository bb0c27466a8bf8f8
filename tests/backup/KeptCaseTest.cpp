// The case, exhibit and operator kept with the schedule: a pass takes what its start does not
// give, the report says it, and it goes with the working folder once the schedule is done.
#include "PassTest.h"
#include "backup/schedule/KeptCase.h"

using KeptCaseTest = PassTest;

TEST_F(KeptCaseTest, APassTakesTheKeptCaseFieldByFieldAndTheCaseGoesWithTheSchedule) {
    RecordDay(600, 602);
    Add("10", "00", "10", "01");
    const std::string base = ctx.m_host.basePath;
    // A line break cannot make a field of another: the file's lines stay its fields.
    ASSERT_TRUE(backup::KeepCase(base, {"CR-2026/7", "JB/1\nexhibit=forged", "Zoë Ng"}));
    const exhibit::CaseDetails kept = backup::LoadKeptCase(base);
    EXPECT_EQ(kept.caseReference, "CR-2026/7");
    EXPECT_EQ(kept.exhibitNumber, "JB/1 exhibit=forged");
    EXPECT_EQ(kept.operatorName, "Zoë Ng");
    // What the start gives goes before what is kept, one field at a time.
    const exhibit::CaseDetails merged = backup::CaseGivenOverKept({"", "JB/2", ""}, kept);
    EXPECT_EQ(merged.caseReference, "CR-2026/7");
    EXPECT_EQ(merged.exhibitNumber, "JB/2");

    Run();
    const std::string report = ReadText(out + "/Backup/report.json");
    EXPECT_HAS(report, "\"reference\": \"CR-2026/7\"");
    EXPECT_HAS(report, "\"operator\": \"Zoë Ng\"");
    // The schedule is done: nothing is kept for the next one.
    EXPECT_FALSE(fs::exists(driveC() + "/Prog/Reserved"));
    EXPECT_EQ(backup::LoadKeptCase(base).caseReference, "");
}

TEST_F(KeptCaseTest, AKeptCaseCutShortOrOfAnotherKindIsNotTakenAndEmptyFieldsKeepNothing) {
    const std::string base = ctx.m_host.basePath;
    ASSERT_TRUE(backup::KeepCase(base, {"CR-1", "JB/1", "A. N. Other"}));
    const std::string file = driveC() + "/Prog/Reserved/case.txt";
    const std::string whole = ReadText(file);
    WriteText(file, whole.substr(0, whole.size() - 3));  // the last line cut
    EXPECT_EQ(backup::LoadKeptCase(base).caseReference, "");
    WriteText(file, "case=CR-1\n");  // no first line: not ours
    EXPECT_EQ(backup::LoadKeptCase(base).caseReference, "");
    ASSERT_TRUE(backup::KeepCase(base, {}));
    EXPECT_FALSE(fs::exists(file));
}
