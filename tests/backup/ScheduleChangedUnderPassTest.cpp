// A program that ignores the lock rewrites reserve.dat while a pass runs, adding an entry: the
// pass's end keeps that entry and its folder, drops only what it made whole, and says so.
#include <filesystem>

#include "BackupFixture.h"
#include "share/Has.h"

namespace fs = std::filesystem;

class ScheduleChangedUnderPassTest : public BackupFixture {
  protected:
    void SetUp() override {
        BackupFixture::SetUp();
        OwnPassEnds();
        worker.StartMakeFileThread();
    }
};

TEST_F(ScheduleChangedUnderPassTest, AScheduleRewrittenDuringAPassKeepsWhatTheOtherProgramAdded) {
    RecordDay(600, 606);
    const std::string reserved = driveC() + "/Prog/Reserved", other = prefix() + "/other";
    const std::string added = "/2010_05_23=10,05~10,06";
    // The other program's schedule: this one's entry and one more.
    Add("10", "00", "10", "03");
    Add("10", "05", "10", "06", {1});
    fs::copy(reserved, other, fs::copy_options::recursive);
    ASSERT_EQ(ctx.m_editor.OnSelchangeSchedule(1), "");
    view.answerYes = true;
    ASSERT_EQ(ctx.m_editor.OnDelete(), "");
    ASSERT_FALSE(fs::exists(reserved + added));

    bool rewritten = false;
    view.onStatus = [&](const std::string& text) {
        if (rewritten || text.find("201005231001N.dat") == std::string::npos)
            return;
        rewritten = true;
        fs::copy(other + added, reserved + added, fs::copy_options::recursive);
        fs::copy_file(other + "/reserve.dat", reserved + "/reserve.new");
        fs::rename(reserved + "/reserve.new", reserved + "/reserve.dat");
    };
    std::vector<std::string> told;
    view.onBox = [&](const std::string& text) { told.push_back(text); };
    Target();
    ASSERT_EQ(Start(), "");
    ASSERT_TRUE(ServeUntil([&] { return view.ended.load(); }));
    ASSERT_TRUE(rewritten) << "the pass ended before the schedule could be rewritten";
    EXPECT_TRUE(ctx.m_run.report.ok()) << ::testing::PrintToString(ctx.m_run.report.failures());
    EXPECT_EQ(ctx.m_schedule.rows, std::vector<std::string>{"2010-05-23 - 10:05 ~ 10:06"});
    EXPECT_TRUE(fs::exists(reserved + added + "/BackupInfo.dat"));
    EXPECT_FALSE(fs::exists(reserved + "/2010_05_23=10,00~10,03"));
    std::string all;
    for (const std::string& t : told)
        all += t + "\n";
    EXPECT_HAS(all, "was changed by another program during the backup");
}
