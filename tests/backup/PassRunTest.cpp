// A pass as a front end without a window holds it: its outcome is a value of its own, handed
// over once, and it says it was stopped only when the stop came while it ran.
#include "backup/pass/PassRun.h"

#include <filesystem>
#include <mutex>
#include <stdexcept>

#include "BackupFixture.h"
#include "platform/Threading.h"

namespace {

// Holds the worker at its first status line of a pass until the test lets it go, when asked.
class HeldView : public backup::RecordingOperatorView {
  public:
    void StatusChanged(const std::string& text) override {
        {
            std::lock_guard<std::mutex> lock(m);
            RecordingOperatorView::StatusChanged(text);
        }
        if (hold.exchange(false)) {
            reached.Set();
            go.WaitFor(kHangGuardMs);
        }
    }
    void PassEnded() override {
        {
            std::lock_guard<std::mutex> lock(m);
            RecordingOperatorView::PassEnded();
        }
        ended.Set();
    }
    std::atomic<bool> hold{false};
    platform::AutoResetEvent reached, go, ended;
    std::mutex m;
};

}  // namespace

class PassRunTest : public BackupFixture<HeldView> {
  protected:
    void SetUp() override {
        BackupFixture::SetUp();
        std::filesystem::create_directories(MapDrive('E', "removable") + "/Backup");
        RecordDay(600, 602, 0);
    }
    void Schedule() {
        ASSERT_TRUE(ctx.m_chooser.SelectBackupDay("20100523"));
        Choose("10", "00", "10", "02", {});
        ctx.m_chooser.OnSelectAllCameras();
        ASSERT_EQ(ctx.m_editor.OnAdd(view.range), "");
        ASSERT_EQ(ctx.m_targets.ChooseStorageTarget("E:\\Backup"), "");
    }
};

TEST_F(PassRunTest, ItsOutcomeIsItsOwnHandedOverOnceAndStoppedOnlyByAStopWhileItRan) {
    Schedule();
    auto run = ctx.NewPass();
    ASSERT_TRUE(run->Start(StartOptions(), nullptr).done());
    ASSERT_TRUE(view.ended.WaitFor(kHangGuardMs));
    run->Stop();  // it has ended: nothing is stopped
    const backup::PassOutcome whole = run->Finish();
    EXPECT_FALSE(whole.stopped);
    EXPECT_TRUE(whole.report.ok());
    EXPECT_TRUE(whole.report.Entry(0).complete);
    EXPECT_GT(whole.report.filesCopied, 0u);
    EXPECT_GT(whole.doneSize, 0u);
    EXPECT_THROW(run->Finish(), std::logic_error);

    // The next pass, stopped at its first file, changes nothing of what the first handed over.
    Schedule();
    view.hold = true;
    auto next = ctx.NewPass();
    ASSERT_TRUE(next->Start(StartOptions(), nullptr).done());
    ASSERT_TRUE(view.reached.WaitFor(kHangGuardMs));
    next->Stop();
    view.go.Set();
    ASSERT_TRUE(view.ended.WaitFor(kHangGuardMs));
    const backup::PassOutcome stopped = next->Finish();
    EXPECT_TRUE(stopped.stopped);
    EXPECT_TRUE(stopped.report.stopped());
    EXPECT_FALSE(stopped.report.Entry(0).complete);
    EXPECT_TRUE(whole.report.ok());
    EXPECT_TRUE(whole.report.Entry(0).complete);
}
