// A folder backup of one hour of 8 cameras (an all-camera entry: whole-minute copies and the
// audio, the target flushed at the end), in the same run: without its manifest against `cp -r`
// of the same minute files followed by `sync -f` of the copy, and with its manifest (SHA256SUMS,
// hashed as the files are written) against the same `cp -r` with `sha256sum` of the copy into a
// SHA256SUMS before the sync; and the two backups against each other, the cost of the manifest
// alone. Onto the recordings' own volume, and onto another volume (a tmpfs,
// as a stick is another filesystem) where one can be mounted.
#include <sys/mount.h>
#include <sys/resource.h>
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
    std::printf("%lld pictures and %lld audio bytes, %.1f MB\n", made.pictures, made.audioBytes,
                mb);

    // The other volume: drive T: on a tmpfs big enough for two copies.
    const std::string other = prefix + "/drive_t";
    std::filesystem::create_directories(other);
    const std::string size = "size=" + std::to_string(static_cast<long long>(mb * 2.5) + 64) + "m";
    const bool mounted = ::mount("tmpfs", other.c_str(), "tmpfs", 0, size.c_str()) == 0;
    if (mounted) {
        platform::DriveTable table = platform::DriveTable::Load(prefix);
        table.Set({'T', other, platform::DRIVE_REMOVABLE, ""});
        table.Save(prefix);
    }

    CQuillonApp app;
    bench::TimedView view;
    BackupContext ctx(app, view);
    ctx.m_host.basePath = "C:\\Prog\\";
    std::filesystem::create_directories(host + "/Prog");
    ctx.m_host.camCount = 8;
    BackupWorker worker(ctx.m_run, ctx.m_passEnd);
    worker.StartMakeFileThread();
    char end[32];
    std::snprintf(end, sizeof end, "%02d%02d", (600 + minutes - 1) / 60, (600 + minutes - 1) % 60);

    // Processor time of the process (all its threads) in the last of our backups: the manifest's
    // hashing runs beside the copy, so its wall time is the copy's only with a processor free.
    double lastCpu = 0;
    auto cpuSeconds = [] {
        rusage u{};
        getrusage(RUSAGE_SELF, &u);
        return u.ru_utime.tv_sec + u.ru_stime.tv_sec +
               (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
    };
    auto ours = [&](const std::string& drive, const std::string& targetHost, bool manifest) {
        ctx.m_run.manifest = manifest;
        bench::RemoveTree(targetHost + "/out");
        std::filesystem::create_directories(targetHost + "/out");
        ctx.m_chooser.SelectBackupDay("20260101");
        ctx.m_chooser.SetTimeRange({"10", "00", std::string(end, 2), std::string(end + 2, 2)});
        ctx.m_chooser.OnSelectAllCameras();
        if (ctx.m_editor.OnAdd(view.range).refused() ||
            ctx.m_targets.ChooseStorageTarget(drive + "\\out").refused()) {
            std::fprintf(stderr, "the entry could not be added\n");
            std::exit(1);
        }
        ::sync();  // each run starts with nothing of the others left to write
        const double cpu0 = cpuSeconds();
        const double t = bench::Seconds([&] {
            if (ctx.m_starter.OnOK().done())
                worker.Start(ctx.m_run.job);
            view.ended.Wait();
        });
        lastCpu = cpuSeconds() - cpu0;
        if (!ctx.m_run.report.ok())
            std::fprintf(stderr, "the backup failed: %s\n", ctx.m_run.report.failures()[0].c_str());
        if (manifest != std::filesystem::exists(targetHost + "/out/SHA256SUMS"))
            std::fprintf(stderr, "the manifest is %s\n", manifest ? "missing" : "there");
        bench::RemoveTree(targetHost + "/out");
        return t;
    };
    auto cp = [&](const std::string& targetHost, bool sums) {
        // The backup flushes its target at the end, so the baseline does too.
        const std::string copy = targetHost + "/cp";
        bench::RemoveTree(copy);
        const std::string hash = sums ? " && (cd '" + copy +
                                            "' && find . -type f -print0 | sort -z | xargs -0 "
                                            "sha256sum > ../cp.SHA256SUMS && mv ../cp.SHA256SUMS "
                                            "SHA256SUMS)"
                                      : std::string();
        const std::string cmd = "cp -r '" + host + "/QorData/20260101' '" + copy + "' && rm -f '" +
                                copy + "/20260101.dat'" + hash + " && sync -f '" + copy + "'";
        ::sync();
        const double t = bench::Seconds([&] {
            if (std::system(cmd.c_str()) != 0)
                std::fprintf(stderr, "cp failed\n");
        });
        bench::RemoveTree(copy);
        return t;
    };
    auto measure = [&](const char* what, const std::string& drive, const std::string& targetHost) {
        cp(targetHost, false);
        double tCp = 1e300, tCpSums = 1e300, tPlain = 1e300, tManifest = 1e300;
        double cpuPlain = 1e300, cpuManifest = 1e300;
        for (int i = 0; i < 3; ++i) {
            tCp = std::min(tCp, cp(targetHost, false));
            tPlain = std::min(tPlain, ours(drive, targetHost, false));
            cpuPlain = std::min(cpuPlain, lastCpu);
            tCpSums = std::min(tCpSums, cp(targetHost, true));
            tManifest = std::min(tManifest, ours(drive, targetHost, true));
            cpuManifest = std::min(cpuManifest, lastCpu);
        }
        std::printf(
            "folder backup %s without its manifest: %.3f s, %.1f MB/s; cp -r and sync: %.3f s, "
            "%.1f MB/s; throughput ratio %.2fx (goal and floor 0.9x: at least)\n",
            what, tPlain, mb / tPlain, tCp, mb / tCp, tCp / tPlain);
        std::printf(
            "folder backup %s with its manifest: %.3f s, %.1f MB/s; cp -r, sha256sum and sync: "
            "%.3f s, %.1f MB/s; throughput ratio %.2fx (goal and floor 0.9x: at least)\n",
            what, tManifest, mb / tManifest, tCpSums, mb / tCpSums, tCpSums / tManifest);
        std::printf(
            "folder backup %s: with its manifest against without: time ratio %.2fx (goal 1.1x: "
            "at most); processor time %.3f s against %.3f s\n",
            what, tManifest / tPlain, cpuManifest, cpuPlain);
    };
    measure("onto the same volume", "C:", host);
    if (mounted)
        measure("onto another volume (tmpfs)", "T:", other);
    else
        std::printf("folder backup onto another volume: not measured, no tmpfs can be mounted\n");
    worker.StopMakeFileThread();
    if (mounted)
        ::umount2(other.c_str(), MNT_DETACH);
    bench::RemoveTree(prefix);
    return 0;
}
