// What the window says once a pass has ended: completed only when it was.
#include <gtest/gtest.h>

#include "TestEnv.h"
#include "backup/BackupContext.h"
#include "backup/PassEnd.h"
#include "backup/RecordingOperatorView.h"

namespace {

struct Outcome : ::testing::Test {
    Outcome() { UseBuiltLanguage(app); }
    CQuillonApp app;
    backup::RecordingOperatorView view;
    BackupContext ctx{app, view};
};

}  // namespace

TEST_F(Outcome, ACompletePassLeavesTheWordsToTheWindowAndAnyOtherSaysWhy) {
    EXPECT_EQ(PassOutcomeText(ctx.m_prompts, ctx.m_run.report, ctx.m_schedule, ctx.m_host.dateType),
              "");
    ctx.m_run.report.Stopped();
    EXPECT_EQ(PassOutcomeText(ctx.m_prompts, ctx.m_run.report, ctx.m_schedule, ctx.m_host.dateType),
              "The backup was stopped before it was complete.");
    ctx.m_run.report.Reset();
    for (int i = 0; i < 10; ++i)
        ctx.m_run.report.Fail("entry " + std::to_string(i));
    const std::string text =
        PassOutcomeText(ctx.m_prompts, ctx.m_run.report, ctx.m_schedule, ctx.m_host.dateType);
    EXPECT_EQ(text.rfind("The backup is not complete. Not copied:\nentry 0\nentry 1\n", 0), 0u)
        << text;
    EXPECT_NE(text.find("entry 7\n(2 more)"), std::string::npos) << text;
    EXPECT_EQ(text.find("entry 8"), std::string::npos);
}
