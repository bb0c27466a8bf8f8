// Passes that run while the host sends records, the operator clicks and cancels, as the window
// lets them: the pass reads its plan, so what it writes is what was planned at its start, and
// the context is only ever touched on its own thread (the thread sanitizer build checks the
// latter).
#include <condition_variable>
#include <filesystem>
#include <mutex>

#include "BackupFixture.h"
#include "backup/HostMessages.h"
#include "backup/pass/BackupStart.h"
#include "backup/schedule/ScheduleCommands.h"
#include "records/HostInfo.h"

namespace fs = std::filesystem;

namespace {

// What the host sends while a pass runs: another camera count, date type and model, and no base
// folder (the working folder stays where the schedule is).
std::string HostRecord(int round) {
    HostInfo info;
    info.dateType = round % 2 ? 4 : 1;
    info.camCount = round % 2 ? 16 : 8;
    info.port = 7000 + round;
    info.recorderKind = 4;
    info.modelCode = 0x1648D + round;
    info.language = "eng";
    info.serverAddress = "127.0.0.1";
    info.today = "20100601";
    return EncodeHostInfo(info);
}

}  // namespace

class PassDuringMeddlingTest : public BackupFixture {
  protected:
    void SetUp() override {
        BackupFixture::SetUp();
        RecordDay(600, 611);
        OwnPassEnds();
    }
    // One round of what the host and the operator do while the pass runs, on the window's
    // thread: a host record, clicks on the cameras and pages, a new time range.
    void Meddle(int round) {
        const std::string record = HostRecord(round);
        OnHostRecord(ctx.m_host, ctx.m_profile, ctx.m_link, record, true);
        ctx.m_chooser.OnSelectAllCameras();
        ctx.m_chooser.OnCameraBox(round % 4);
        ctx.m_chooser.OnNextPage();
        ctx.m_chooser.OnPrevPage();
        ctx.m_chooser.SetTimeRange({"10", "01", "10", "03"});
    }
    // Meddles until done; cancelAt > 0 cancels (answered Yes) in that round.
    int MeddleUntil(const std::function<bool()>& done, int cancelAt = 0) {
        int round = 0;
        EXPECT_TRUE(ServeUntil(done, [&] {
            Meddle(++round);
            if (round == cancelAt) {
                EXPECT_TRUE(CancelRunningBackup(ctx.m_run, ctx.m_host, ctx.m_link, ctx.m_prompts));
            }
        }));
        return round;
    }
};

TEST_F(PassDuringMeddlingTest, AFolderPassWritesItsPlanWhateverTheHostAndTheOperatorDoMeanwhile) {
    Add("10", "00", "10", "11", {});
    Add("10", "02", "10", "05", {1, 3});
    Target();
    worker.StartMakeFileThread();
    ASSERT_EQ(Start(), "");
    const int rounds = MeddleUntil([&] { return view.ended.load(); });
    EXPECT_GT(rounds, 0);
    EXPECT_EQ(owner.served, 1);  // the end of the pass ran on the window's thread
    // Every minute of both entries, under the names the plan gave them, and nothing else.
    for (int m = 0; m <= 11; ++m) {
        char name[32];
        std::snprintf(name, sizeof name, "2010052310%02dN.dat", m);
        EXPECT_TRUE(fs::exists(Day("2010_05_23=10,00~10,11") + name)) << name;
        EXPECT_EQ(fs::exists(Day("2010_05_23=10,02~10,05") + name), m >= 2 && m <= 5) << name;
    }
    EXPECT_TRUE(ctx.m_run.report.ok())
        << (ctx.m_run.report.failures().empty() ? std::string()
                                                : ctx.m_run.report.failures().front());
    EXPECT_EQ(Sha256sumCheck(out + "/Backup"), 0);
    // The host's record took effect for the window, and the schedule is done with.
    EXPECT_EQ(ctx.m_host.localMode, 0);
    EXPECT_TRUE(ctx.m_schedule.rows.empty());
}

TEST_F(PassDuringMeddlingTest, ARemotePassFetchesItsPlanWhileRecordsAndClicksArrive) {
    UseLink(true);
    ctx.m_chooser.SelectBackupDay("20100523");
    ASSERT_TRUE(PumpLink());
    Choose("10", "00", "10", "11", {0, 1, 2, 3});
    ASSERT_EQ(ctx.m_editor.OnAdd(view.Range()), "");
    ASSERT_TRUE(PumpLink());
    ASSERT_EQ(ctx.m_schedule.rows.size(), 1u);
    Target("E:\\Remote");
    const int boxes = view.boxes;
    ASSERT_EQ(Start(), "");
    // The answers are served on this thread between rounds, as the window's loop serves them.
    MeddleUntil([&] { return view.boxes > boxes; });
    for (int m = 0; m <= 11; ++m) {
        char name[32];
        std::snprintf(name, sizeof name, "2010052310%02dN.dat", m);
        EXPECT_TRUE(fs::exists(Day("2010_05_23=10,00~10,11", "Remote") + name)) << name;
    }
    EXPECT_TRUE(ctx.m_run.report.ok());
    EXPECT_EQ(Sha256sumCheck(out + "/Remote"), 0);
}

TEST_F(PassDuringMeddlingTest, ARemotePassCancelledAtOnceEndsWithItsEntryKept) {
    UseLink(true);
    ctx.m_chooser.SelectBackupDay("20100523");
    ASSERT_TRUE(PumpLink());
    Choose("10", "00", "10", "11", {0, 1});
    ASSERT_EQ(Start(), "M010024");  // nothing scheduled yet
    ASSERT_EQ(ctx.m_editor.OnAdd(view.Range()), "");
    ASSERT_TRUE(PumpLink());
    Target("E:\\Remote");
    const int boxes = view.boxes;
    ASSERT_EQ(Start(), "");
    // The cancel is asked before the worker's first step can have handed its entry over; the
    // question, then the end of the run.
    MeddleUntil([&] { return view.boxes > boxes + 1; }, 1);
    EXPECT_FALSE(ctx.m_run.running);
    EXPECT_TRUE(ctx.m_run.report.stopped());
    EXPECT_EQ(ctx.m_schedule.rows.size(), 1u);
}
