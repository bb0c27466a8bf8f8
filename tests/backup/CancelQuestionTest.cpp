// Questions. Cancel: while a pass runs or a disc is written it asks, and only a yes stops it (the
// disc told to abort, and the status line saying so); idle, it closes. A stopped pass keeps every
// entry it did not write and names each with what it lacks. Questions answered later than they
// were asked, as a window's box answers them: the command waits, acts on the answer when it
// comes, and acts on nothing once its subject went away.
#include "FakeDiscWriter.h"
#include "PassTest.h"

class CancelQuestionTest : public PassTest {
  protected:
    CancelOutcome Cancel() {
        return OnCancel(ctx.m_disc, ctx.m_run, ctx.m_host, ctx.m_link, ctx.m_prompts);
    }
};

TEST_F(CancelQuestionTest, OnlyAYesStopsThePassOrTheDiscAndIdleItCloses) {
    ctx.m_run.running = 1;
    view.answerYes = false;
    EXPECT_EQ(Cancel(), CancelOutcome::kStaysOpen);
    EXPECT_EQ(view.messages.back().text, Text("M010038") + "\n" + Text("M010026"));
    EXPECT_EQ(ctx.m_run.running, 1);
    ctx.m_run.running = 0;

    FakeDiscWriter writer;
    ctx.m_disc.writer = &writer;
    ctx.m_disc.writing = 1;
    EXPECT_EQ(Cancel(), CancelOutcome::kStaysOpen);
    EXPECT_EQ(view.messages.back().text, Disc("A010022") + "\n" + Disc("A010023"));
    EXPECT_TRUE(writer.calls.empty());
    view.answerYes = true;
    EXPECT_EQ(Cancel(), CancelOutcome::kStaysOpen);
    EXPECT_EQ(writer.calls, std::vector<std::string>{"abort"});
    EXPECT_EQ(view.statusText, Disc("A010024"));
    ctx.m_disc.writing = 0;
    ctx.m_disc.writer = nullptr;
    EXPECT_EQ(Cancel(), CancelOutcome::kClose);
}

TEST_F(CancelQuestionTest, AStoppedPassKeepsWhatItDidNotWriteAndNamesIt) {
    RecordDay(600, 609, 0);
    Add("10", "00", "10", "02");
    Add("10", "04", "10", "09");
    CancelAt("201005231000");
    Run();
    EXPECT_EQ(ctx.m_schedule.rows, (std::vector<std::string>{"2010-05-23 - 10:00 ~ 10:02",
                                                             "2010-05-23 - 10:04 ~ 10:09"}));
    const std::string end = Outcome();
    EXPECT_THAT(end, StartsWith(Text("Q010007")));
    EXPECT_HAS(end, "\n\n" + Text("Q010013"));
    EXPECT_HAS(end, "2010-05-23 - 10:04 ~ 10:09: " + std::string(kEntryNotReached));
    EXPECT_FALSE(view.totalSize.empty());  // the kept entries' total
}

class LateAnswerTest : public CancelQuestionTest {
  protected:
    void SetUp() override {
        CancelQuestionTest::SetUp();
        view.holdReplies = true;
        RecordDay(600, 605);
        ctx.m_chooser.SelectBackupDay("20100523");
    }
    std::string Entry(const char* name) { return driveC() + "/Prog/Reserved/" + name; }
};

TEST_F(LateAnswerTest, ADeleteWaitsForItsYesAndDeletesTheEntryItAskedAboutThen) {
    ASSERT_EQ(AddRange("10", "00", "10", "01", {0}), "");
    ASSERT_EQ(AddRange("10", "02", "10", "03", {1}), "");
    ASSERT_EQ(ctx.m_editor.OnSelchangeSchedule(0), "");

    const backup::CommandResult asked = ctx.m_editor.OnDelete();
    EXPECT_TRUE(asked.asked());
    EXPECT_FALSE(asked.done() || asked.refused());
    ASSERT_EQ(view.asked.size(), 1u);
    EXPECT_EQ(view.asked[0].text, Text("M010019"));
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
    ASSERT_EQ(AddRange("10", "00", "10", "01", {0}), "");
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
    EXPECT_EQ(Cancel(), CancelOutcome::kStaysOpen);
    ASSERT_EQ(view.asked.size(), 1u);

    // Its pass ended first (the pass end withdraws it), the next one runs at the late yes.
    ctx.m_prompts.Withdraw(backup::QuestionAbout::kDiscWrite);  // about something else
    EXPECT_TRUE(view.withdrawn.empty());
    ctx.m_prompts.Withdraw(backup::QuestionAbout::kPass);
    ASSERT_EQ(view.withdrawn, std::vector<int>{view.asked[0].id});
    view.replies[0](true);
    EXPECT_EQ(ctx.m_run.running, 1u);

    // Asked again and answered while its pass runs, the yes stops it.
    Cancel();
    ASSERT_EQ(view.asked.size(), 2u);
    EXPECT_NE(view.asked[1].id, view.asked[0].id);
    view.replies[1](true);
    EXPECT_EQ(ctx.m_run.running, 0u);
}
