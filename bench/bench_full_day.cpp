// The cost of a backup by the number of files: a full day's entry of 16 cameras with audio on
// every camera (1440 minutes, 25,922 files in the image, 23,040 of them in one Audio folder),
// and a quarter of it, in seconds per thousand files, each beside `cp -r` of the same files.
// A cost that grows with the number of files already made shows as a rising figure.
#include <sys/mount.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "BenchEnv.h"
#include "TimedView.h"
#include "backup/BackupContext.h"
#include "backup/pass/BackupStart.h"
#include "backup/pass/BackupWorker.h"
#include "backup/schedule/CameraSelection.h"
#include "backup/schedule/ScheduleCommands.h"
#include "mkrec/Recorder.h"

namespace {

long long CountFiles(const std::string& folder) {
    long long n = 0;
    for (const auto& e : std::filesystem::recursive_directory_iterator(folder))
        n += e.is_regular_file() ? 1 : 0;
    return n;
}

}  // namespace

int main() {
    const std::string prefix = bench::MakePrefix("quillon-bench-fullday");
    const std::string host = prefix + "/drive_c";
    // On a tmpfs where one can be mounted: a disk's own cost of making and reusing thousands of
    // entries varies from run to run, and this measures ours.
    const bool mounted = ::mount("tmpfs", host.c_str(), "tmpfs", 0, "size=4g") == 0;
    std::printf("recordings and image on %s\n", mounted ? "a tmpfs" : "the disk of the prefix");
    mkrec::RecorderPlan plan;
    plan.root = "C:\\QorData";
    plan.days = {"20260101"};
    plan.firstMinute = 0;
    plan.lastMinute = 1439;
    plan.cameras = 16;
    plan.width = plan.height = 16;  // the cost of a file, not of its bytes
    plan.audioChannels = 16;
    plan.audioBytesPerMinute = 800;
    std::printf("making a 16-camera day with audio on every camera...\n");
    mkrec::MakeRecordings(plan);

    CQuillonApp app;
    bench::TimedView view;
    BackupContext ctx(app, view);
    ctx.m_host.basePath = "C:\\Prog\\";
    std::filesystem::create_directories(host + "/Prog");
    ctx.m_host.camCount = 16;
    BackupWorker worker(ctx.m_run, ctx.m_passEnd);
    worker.StartMakeFileThread();

    // Nothing is deleted between the runs: a volume slows down when it must reuse the entries of
    // thousands of files just deleted, which would measure the deletion, not the backup.
    double firstSeconds = 0;
    long long firstFiles = 0;
    for (const char* endHour : {"05", "23"}) {
        const std::string out = std::string("out") + endHour, cpOut = host + "/cp" + endHour;
        std::filesystem::create_directories(host + "/" + out);
        ctx.m_chooser.SelectBackupDay("20260101");
        ctx.m_chooser.SetTimeRange({"00", "00", endHour, "59"});
        ctx.m_chooser.OnSelectAllCameras();
        if (ctx.m_editor.OnAdd(view.range).refused() ||
            ctx.m_targets.ChooseStorageTarget("C:\\" + out).refused()) {
            std::fprintf(stderr, "the entry could not be added\n");
            return 1;
        }
        ::sync();
        const double t = bench::Seconds([&] {
            if (ctx.m_starter.OnOK().done())
                worker.Start(ctx.m_run.job);
            view.ended.Wait();
        });
        if (!ctx.m_run.report.ok())
            std::fprintf(stderr, "the backup failed: %s\n", ctx.m_run.report.failures()[0].c_str());
        const long long files = CountFiles(host + "/" + out);
        // The same files with cp: the minutes of the range and their audio.
        const bool quarter = endHour[0] == '0';
        std::filesystem::create_directories(quarter ? cpOut + "/Audio" : cpOut);
        const std::string audio = quarter ? "cp Audio/20260101{00..05}* '" + cpOut + "/Audio/'"
                                          : "cp -r Audio '" + cpOut + "/'";
        const std::string cmd = "bash -c \"cd '" + host + "/QorData/20260101' && cp 20260101" +
                                (quarter ? "{00..05}" : "") + "*N.* '" + cpOut + "/' && " + audio +
                                " && sync -f '" + cpOut + "'\"";
        ::sync();
        const double tCp = bench::Seconds([&] {
            if (std::system(cmd.c_str()) != 0)
                std::fprintf(stderr, "cp failed\n");
        });
        const long long cpFiles = CountFiles(cpOut);
        const double perK = t / (files / 1000.0);
        std::printf(
            "00:00-%s:59: %lld files in %.2f s, %.3f s per thousand files; cp of %lld files: "
            "%.3f s per thousand\n",
            endHour, files, t, perK, cpFiles, tCp / (cpFiles / 1000.0));
        if (firstFiles == 0) {
            firstSeconds = t;
            firstFiles = files;
        } else {
            // What each further thousand files cost: a cost that grew with the files already
            // made would show here as more than the first figure.
            std::printf("the further %lld files: %.3f s per thousand\n", files - firstFiles,
                        (t - firstSeconds) / ((files - firstFiles) / 1000.0));
        }
    }
    std::printf(
        "(goal: a full day costs no more per thousand files than a quarter of it; a pass also has "
        "a fixed cost, so the figure may fall)\n");
    worker.StopMakeFileThread();
    if (mounted)
        ::umount2(host.c_str(), MNT_DETACH);
    bench::RemoveTree(prefix);
    return 0;
}
