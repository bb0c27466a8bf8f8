// Questions answered later than they were asked, as a window's box answers them: the command
// waits, acts on the answer when it comes, and acts on nothing once its subject went away.
#include <filesystem>

#include "BackupFixture.h"
#include "backup/pass/BackupStart.h"

namespace fs = std::filesystem;

namespace {

class LateAnswerTest : public BackupFixture {
  protected:
    void SetUp() override {
        BackupFixture::SetUp();
        view.holdReplies = true;
        RecordDay(600, 605);
        ctx.m_chooser.SelectBackupDay("20100523");
    }
    std::string Entry(const char* name) { return driveC() + "/Prog/Reserved/" + name; }
};

}  // namespace

TEST_F(LateAnswerTest, ADeleteWaitsForItsYesAndDeletesTheEntryItAskedAboutThen) {
    Choose("10", "00", "10", "01", {0});
    ASSERT_EQ(ctx.m_editor.OnAdd(view.range), "");
    Choose("10", "02", "10", "03", {1});
    ASSERT_EQ(ctx.m_editor.OnAdd(view.range), "");
    ASSERT_EQ(ctx.m_editor.OnSelchangeSchedule(0), "");

    const backup::CommandResult asked = ctx.m_editor.OnDelete();
    EXPECT_TRUE(asked.asked());
    EXPECT_FALSE(asked.done() || asked.refused());
    ASSERT_EQ(view.asked.size(), 1u);
    EXPECT_EQ(view.asked[0].text, app.GetLanguageText("BACKUP", "M010019"));
    EXPECT_TRUE(fs::exists(Entry("2010_05_23=10,00~10,01")));  // nothing yet

    // The operator picks the other row meanwhile; the yes still deletes the one asked about.
    ASSERT_EQ(ctx.m_editor.OnSelchangeSchedule(1), "");
    view.replies[0](true);
    EXPECT_FALSE(fs::exists(Entry("2010_05_23=10,00~10,01")));
    EXPECT_TRUE(fs::exists(Entry("2010_05_23=10,02~10,03")));
    ASSERT_EQ(ctx.m_schedule.rows.size(), 1u);

    // A second reply to the same question does nothing.
    ASSERT_EQ(ctx.m_editor.OnSelchangeSchedule(0), "");
    view.replies[0](true);
    EXPECT_EQ(ctx.m_schedule.rows.size(), 1u);
}

TEST_F(LateAnswerTest, AYesThatComesOnceAPassBeganIsRefusedAsTheCommandWouldBe) {
    Choose("10", "00", "10", "01", {0});
    ASSERT_EQ(ctx.m_editor.OnAdd(view.range), "");
    ASSERT_EQ(ctx.m_editor.OnSelchangeSchedule(0), "");
    ASSERT_TRUE(ctx.m_editor.OnDelete().asked());
    ctx.m_burner.OnErase();
    ASSERT_EQ(view.asked.size(), 2u);

    ctx.m_run.running = 1;
    view.replies[0](true);
    view.replies[1](true);
    EXPECT_EQ(ctx.m_schedule.rows.size(), 1u);
    EXPECT_TRUE(fs::exists(Entry("2010_05_23=10,00~10,01")));
    ASSERT_EQ(view.messages.size(), 2u);  // the busy notice, once for each
    EXPECT_EQ(view.messages[0].text, view.messages[1].text);
    EXPECT_EQ(view.activity, backup::Activity::kIdle);  // no erase began
}

TEST_F(LateAnswerTest, AWithdrawnStopQuestionsYesStopsNothingAndANewOneIsAskedAfresh) {
    ctx.m_host.localMode = 1;
    ctx.m_run.running = 1;
    EXPECT_EQ(OnCancel(ctx.m_disc, ctx.m_run, ctx.m_host, ctx.m_link, ctx.m_prompts),
              CancelOutcome::kStaysOpen);
    ASSERT_EQ(view.asked.size(), 1u);

    // Its pass ended first (the pass end withdraws it), the next one runs at the late yes.
    ctx.m_prompts.Withdraw(backup::QuestionAbout::kDiscWrite);  // about something else
    EXPECT_TRUE(view.withdrawn.empty());
    ctx.m_prompts.Withdraw(backup::QuestionAbout::kPass);
    ASSERT_EQ(view.withdrawn, std::vector<int>{view.asked[0].id});
    view.replies[0](true);
    EXPECT_EQ(ctx.m_run.running, 1u);

    // Asked again and answered while its pass runs, the yes stops it.
    OnCancel(ctx.m_disc, ctx.m_run, ctx.m_host, ctx.m_link, ctx.m_prompts);
    ASSERT_EQ(view.asked.size(), 2u);
    EXPECT_NE(view.asked[1].id, view.asked[0].id);
    view.replies[1](true);
    EXPECT_EQ(ctx.m_run.running, 0u);
}
