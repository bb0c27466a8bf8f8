// A remote pass with no link to fetch through ends at once, says so in the status line and
// copies nothing of the local recorder in its place.
#include "PassTest.h"

using RemotePassWithoutLinkTest = PassTest;

TEST_F(RemotePassWithoutLinkTest, EndsSayingSoAndCopiesNothing) {
    RecordDay(600, 602);
    Add("10", "01", "10", "02");
    GoRemote();  // and no client for the link
    Target();
    ASSERT_EQ(Start(), "");
    ASSERT_TRUE(ServeUntil([&] { return !ctx.m_run.running; }));
    EXPECT_EQ(view.statusText, Text("M010012"));
    EXPECT_EQ(view.activity, backup::Activity::kIdle);
    EXPECT_FALSE(fs::exists(out + "/Backup/2010_05_23=10,01~10,02"));
}
