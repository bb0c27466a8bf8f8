// A folder backup of one hour of 8 cameras (an all-camera entry: whole-minute copies and the
// audio, the target flushed at the end), against `cp -r` of the same minute files followed by
// `sync -f` of the copy, in the same run.
#include <cstdio>
#include <cstdlib>

#include "BenchEnv.h"
#include "backup/BackupStart.h"
#include "backup/BackupWorker.h"
#include "backup/CameraSelection.h"
#include "backup/ScheduleCommands.h"
#include "mkrec/Recorder.h"

namespace {

// Records the worker's code 100, so that the pass can be timed to its end.
class TimedView : public RecordingDialogView {
  public:
    void SetProgressPos(int) override {}
    void SetItemText(int id, const std::string& text) override {
        std::lock_guard<std::mutex> lock(m);
        RecordingDialogView::SetItemText(id, text);
    }
    void SendDialogMessage(DWORD, std::uintptr_t, std::intptr_t) override { ended.Set(); }
    platform::AutoResetEvent ended;
    std::mutex m;
};

}  // namespace

int main() {
    const int minutes = bench::EnvNumber("QUILLON_BENCH_MINUTES", 60);
    const std::string prefix = bench::MakePrefix("quillon-bench-folder");
    const std::string host = prefix + "/drive_c";
    mkrec::RecorderPlan plan;
    plan.root = "C:\\QorData";
    plan.days = {"20260101"};
    plan.firstMinute = 600;
    plan.lastMinute = 600 + minutes - 1;
    plan.cameras = 8;
    plan.fps = 10;
    plan.audioChannels = 8;
    std::printf("making %d minutes of 8 cameras at 10 pictures a second with audio...\n", minutes);
    const mkrec::RecorderStats made = mkrec::MakeRecordings(plan);
    const double mb = (made.pictureBytes + made.audioBytes) / 1e6;

    CQuillonApp app;
    TimedView view;
    BackupContext ctx(app, view);
    ctx.m_strExePath = "C:\\Prog\\";
    std::filesystem::create_directories(host + "/Prog");
    ctx.m_nCamCount = 8;
    BackupWorker worker(ctx);
    worker.StartMakeFileThread();
    char end[32];
    std::snprintf(end, sizeof end, "%02d%02d", (600 + minutes - 1) / 60, (600 + minutes - 1) % 60);

    auto ours = [&] {
        bench::RemoveTree(host + "/out");
        std::filesystem::create_directories(host + "/out");
        SelectBackupDay(ctx, "20260101");
        SetTimeRange(ctx, "10", "00", std::string(end, 2), std::string(end + 2, 2));
        OnSelectAllCameras(ctx);
        if (!OnAdd(ctx).empty() || !ChooseStorageTarget(ctx, "C:\\out").empty()) {
            std::fprintf(stderr, "the entry could not be added\n");
            std::exit(1);
        }
        std::system("sync");  // each run starts with nothing of the others left to write
        const double t = bench::Seconds([&] {
            OnOK(ctx, worker);
            view.ended.Wait();
        });
        if (!ctx.m_report.ok())
            std::fprintf(stderr, "the backup failed: %s\n", ctx.m_report.failures()[0].c_str());
        return t;
    };
    auto cp = [&] {
        bench::RemoveTree(host + "/cp");
        // The backup flushes its target at the end, so the baseline does too.
        const std::string copy = host + "/cp";
        const std::string cmd = "cp -r '" + host + "/QorData/20260101' '" + copy + "' && rm -f '" +
                                copy + "/20260101.dat' && sync -f '" + copy + "'";
        std::system("sync");
        return bench::Seconds([&] {
            if (std::system(cmd.c_str()) != 0)
                std::fprintf(stderr, "cp failed\n");
        });
    };
    cp();
    double tCp = 1e300, tOurs = 1e300;
    for (int i = 0; i < 3; ++i) {
        tCp = std::min(tCp, cp());
        tOurs = std::min(tOurs, ours());
    }
    std::printf("%lld pictures and %lld audio bytes, %.1f MB\n", made.pictures, made.audioBytes,
                mb);
    std::printf(
        "folder backup (all cameras): %.3f s, %.1f MB/s; cp -r and sync: %.3f s, %.1f MB/s; "
        "throughput ratio %.2fx (target >= 0.9x)\n",
        tOurs, mb / tOurs, tCp, mb / tCp, tCp / tOurs);
    worker.StopMakeFileThread();
    bench::RemoveTree(prefix);
    return 0;
}
