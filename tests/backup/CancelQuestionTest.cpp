// Cancel: while a pass runs or a disc is written it asks, and only a yes stops it (the disc told
// to abort, and the status line saying so); idle, it closes. A stopped pass keeps every entry it
// did not write and names each with what it lacks.
#include "BackupFixture.h"
#include "FakeDiscWriter.h"
#include "backup/pass/BackupStart.h"
#include "backup/pass/PassEnd.h"
#include "share/Has.h"

class CancelQuestionTest : public BackupFixture {
  protected:
    CancelOutcome Cancel() {
        return OnCancel(ctx.m_disc, ctx.m_run, ctx.m_host, ctx.m_link, ctx.m_prompts);
    }
    std::string Text(const char* key) { return app.GetLanguageText("BACKUP", key); }
    std::string Disc(const char* key) { return app.GetLanguageText("CDWRITER", key); }
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
    OwnPassEnds();
    worker.StartMakeFileThread();
    view.onStatus = [this](const std::string& text) {
        if (text.find("201005231000N.dat") != std::string::npos)
            ctx.m_run.running = 0;
    };
    Target("E:\\Backup");
    ASSERT_EQ(Start(), "");
    ASSERT_TRUE(ServeUntil([&] { return view.ended.load(); }));
    EXPECT_EQ(ctx.m_schedule.rows, (std::vector<std::string>{"2010-05-23 - 10:00 ~ 10:02",
                                                             "2010-05-23 - 10:04 ~ 10:09"}));
    const std::string end =
        PassOutcomeText(ctx.m_prompts, ctx.m_run.report, ctx.m_schedule, ctx.m_host.dateType);
    EXPECT_EQ(end.rfind(Text("Q010007"), 0), 0u) << end;
    EXPECT_HAS(end, "\n\n" + Text("Q010013"));
    EXPECT_HAS(end, "2010-05-23 - 10:04 ~ 10:09: " + std::string(kEntryNotReached));
    EXPECT_FALSE(view.totalSize.empty());  // the kept entries' total
}
