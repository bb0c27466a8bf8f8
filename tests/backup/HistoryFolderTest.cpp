// History: the drive of the target's drive path, none while a pass runs, and the names of the
// folders there in the date type's form.
#include <tuple>

#include "PassTest.h"

using HistoryFolderTest = PassTest;

TEST_F(HistoryFolderTest, TheTargetsDriveUnlessAPassRunsAndFolderNamesInTheDateTypesForm) {
    Target("E:\\Backup");
    EXPECT_EQ(OnHistory({ctx.m_run, ctx.m_disc}, ctx.m_target, ctx.m_prompts), "E:");
    ctx.m_run.running = 1;
    EXPECT_EQ(OnHistory({ctx.m_run, ctx.m_disc}, ctx.m_target, ctx.m_prompts), "");
    EXPECT_EQ(LastMessage(), Text("M010016"));
    for (const auto& [type, entry, other] :
         {std::tuple{0, "2010-05-03 - 10,00 ~ 11,30", "a:b-c"},
          std::tuple{3, "2010/05/03 - 10,00 ~ 11,30", "a:b/c"},
          std::tuple{6, "2010.05.03 - 10,00 ~ 11,30", "a:b.c"}}) {
        EXPECT_EQ(BackupDataLabel("2010_05_03=10,00~11,30", type), entry);
        EXPECT_EQ(BackupDataLabel("a.b_c", type), other);
    }
    EXPECT_EQ(BackupDataLabel("a.b_c", 9), "a.b_c");  // no date type: the name as it is
}
