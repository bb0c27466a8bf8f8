// Writing a backup image to a disc: the writer on a pseudo-drive against xorriso writing the same
// tree to a file in the same run (ISO 9660 with Joliet and Rock Ridge both), as throughput.
// Goal: at least 0.9x xorriso's.
#include <sys/mount.h>

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "BenchEnv.h"
#include "disc/BurnWriter.h"
#include "mkrec/Recorder.h"

namespace {

struct Ends : IDiscWriterEvents {
    void OnWriterEvent(const WriterEvent& e) override {
        std::lock_guard<std::mutex> lock(m);
        if (e.id == 13 || e.id == 12 || e.id == 21 ||
            e.id == 11)  // written, cancelled, failed, erased
            end = e.id, code = e.a, text = e.text;
        cv.notify_all();
    }
    int Wait() {
        std::unique_lock<std::mutex> lock(m);
        cv.wait(lock, [&] { return end != 0; });
        const int e = end;
        end = 0;
        return e;
    }
    std::mutex m;
    std::condition_variable cv;
    int end = 0;
    long code = 0;
    std::string text;
};

long long TreeBytes(const std::string& folder) {
    long long n = 0;
    for (const auto& e : std::filesystem::recursive_directory_iterator(folder))
        n += e.is_regular_file() ? static_cast<long long>(e.file_size()) : 0;
    return n;
}

}  // namespace

int main() {
    if (std::system("command -v xorriso >/dev/null 2>&1") != 0) {
        std::fprintf(stderr, "xorriso is needed as the baseline\n");
        return 1;
    }
    const std::string prefix = bench::MakePrefix("quillon-bench-disc");
    const std::string host = prefix + "/drive_c";
    const bool mounted = ::mount("tmpfs", host.c_str(), "tmpfs", 0, "size=3g") == 0;
    std::printf("image tree and discs on %s\n", mounted ? "a tmpfs" : "the disk of the prefix");
    mkrec::RecorderPlan plan;
    plan.root = "C:\\QuillonTemp";
    plan.days = {"20260101"};
    plan.firstMinute = 600;
    plan.lastMinute = 600 + bench::EnvNumber("QUILLON_BENCH_MINUTES", 10) - 1;
    plan.cameras = 8;
    plan.fps = 5;
    plan.width = 352;
    plan.height = 240;
    plan.audioChannels = 8;
    std::printf("making the image tree...\n");
    mkrec::MakeRecordings(plan);
    const std::string tree = host + "/QuillonTemp";
    const double mb = static_cast<double>(TreeBytes(tree)) / 1048576.0;
    std::printf("%.0f MB in %s\n", mb, tree.c_str());

    const std::string ours = host + "/ours.iso", theirs = host + "/xorriso.iso";
    platform::DriveTable table = platform::DriveTable::Load(prefix);
    platform::DriveInfo d;
    d.letter = 'D';
    d.hostRoot = prefix;
    d.type = platform::DRIVE_CDROM;
    d.device = "stdio:" + ours;
    d.media = "dvd+rw";
    table.Set(d);
    table.Save(prefix);

    Ends ends;
    disc::BurnWriter writer([](std::function<void()> f) { f(); });
    writer.SetEventSink(&ends);
    if (!writer.InitializeWriter(0) || !writer.SelectDrive(0)) {
        std::fprintf(stderr, "the pseudo-drive could not be used\n");
        return 1;
    }
    const std::string xorriso = "xorriso -abort_on FAILURE -outdev stdio:" + theirs +
                                " -volid QORBACKUP -joliet on -rockridge on -map " + tree +
                                " / -commit >/dev/null 2>&1";
    double bestOurs = 1e9, bestTheirs = 1e9;
    for (int run = 0; run < 3; ++run) {
        std::filesystem::remove(theirs);
        bestTheirs = std::min(bestTheirs, bench::Seconds([&] {
                                  if (std::system(xorriso.c_str()) != 0)
                                      std::exit((std::fprintf(stderr, "xorriso failed\n"), 1));
                              }));
        if (writer.GetDiscStatus() != 0) {
            writer.EraseDisc(1);
            ends.Wait();
        }
        int end = 0;
        bestOurs = std::min(bestOurs, bench::Seconds([&] {
                                writer.ResetImage(1);
                                writer.AddFiles("\\", "C:\\QuillonTemp\\*.*");
                                writer.SetVolumeLabel("QORBACKUP");
                                end = writer.WriteDisc() ? ends.Wait() : 21;
                            }));
        if (end != 13) {
            std::fprintf(stderr, "the write did not end well: %ld %s\n", ends.code,
                         ends.text.c_str());
            return 1;
        }
    }
    const double oursMB = std::filesystem::file_size(ours) / 1048576.0;
    const double theirsMB = std::filesystem::file_size(theirs) / 1048576.0;
    std::printf("ours:    %.0f MB image in %.2f s, %.0f MB/s\n", oursMB, bestOurs, mb / bestOurs);
    std::printf("xorriso: %.0f MB image in %.2f s, %.0f MB/s\n", theirsMB, bestTheirs,
                mb / bestTheirs);
    std::printf("throughput against xorriso: %.2fx (goal: at least 0.90x)\n",
                bestTheirs / bestOurs);
    writer.SetEventSink(nullptr);
    if (mounted)
        ::umount2(host.c_str(), MNT_DETACH);
    std::filesystem::remove_all(prefix);
    return 0;
}
