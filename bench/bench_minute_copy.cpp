// Selected-camera copy of one hour of 16 cameras at 25 pictures a second, against a raw copy of
// the same minute files in the same run; and the peak memory of 10 and of 60 minutes.
#include <cstdio>
#include <cstdlib>

#include "BenchEnv.h"
#include "mkrec/Recorder.h"
#include "platform/FileSystem.h"
#include "storage/MinuteCopy.h"
#include "storage/RecorderPaths.h"

namespace {

const char kDay[] = "20260101";

long long CopyMinutes(const CameraSet& cameras, int minutes) {
    long long ok = 0;
    for (int m = 0; m < minutes; ++m)
        ok += storage::CopyMinuteSegment(cameras, paths::MinutePrefix("C:\\QorData", kDay, 10, m),
                                         paths::EntryMinutePrefix("C:\\img\\", "e", kDay, 10, m))
                  .result;
    return ok;
}

}  // namespace

int main() {
    const int minutes = bench::EnvNumber("QUILLON_BENCH_MINUTES", 60);
    const std::string prefix = bench::MakePrefix("quillon-bench-copy");
    const std::string host = prefix + "/drive_c";
    mkrec::RecorderPlan plan;
    plan.root = "C:\\QorData";
    plan.days = {kDay};
    plan.firstMinute = 600;
    plan.lastMinute = 600 + minutes - 1;
    plan.cameras = 16;
    plan.fps = 25;
    // Pictures of the recorder's default size (about 2.5 KB each): the per-picture cost of the
    // index weighs less the larger the pictures are.
    plan.width = bench::EnvNumber("QUILLON_BENCH_WIDTH", 160);
    plan.height = plan.width * 3 / 4;
    std::printf("making %d minutes of 16 cameras at 25 pictures a second...\n", minutes);
    const mkrec::RecorderStats made = mkrec::MakeRecordings(plan);
    long long sourceBytes = 0;
    for (int m = 0; m < minutes; ++m) {
        const std::string p = host + "/QorData/" + kDay + "/" + paths::SegmentName(kDay, 10, m);
        sourceBytes += platform::FileLength(p + "N.dat") + platform::FileLength(p + "N.idx");
    }

    CameraSet cameras;
    for (std::size_t c = 0; c < 16; c += 2)
        cameras.set(c);  // eight of sixteen cameras
    auto ours = [&] {
        bench::RemoveTree(host + "/img");
        platform::CreateDirectoryTree("C:\\img\\e\\" + std::string(kDay));
        CopyMinutes(cameras, minutes);
    };
    auto raw = [&] {
        bench::RemoveTree(host + "/raw");
        std::filesystem::create_directories(host + "/raw");
        for (int m = 0; m < minutes; ++m) {
            const std::string name = paths::SegmentName(kDay, 10, m);
            const std::string from = host + "/QorData/" + kDay + "/" + name;
            bench::RawCopy(from + "N.dat", host + "/raw/" + name + "N.dat");
            bench::RawCopy(from + "N.idx", host + "/raw/" + name + "N.idx");
        }
    };
    raw();
    // Taken in turns, so that both meet the same state of the system's cache and writeback.
    double tRaw = 1e300, tOurs = 1e300;
    for (int i = 0; i < 5; ++i) {
        tRaw = std::min(tRaw, bench::Seconds(raw));
        tOurs = std::min(tOurs, bench::Seconds(ours));
    }
    const double mbRaw = sourceBytes / tRaw / 1e6, mbOurs = sourceBytes / tOurs / 1e6;
    std::printf("%lld pictures, %.1f MB of minute files\n", made.pictures, sourceBytes / 1e6);
    std::printf(
        "selected-camera copy (8 of 16): %.3f s, %.1f MB/s of source; raw copy: %.3f s, "
        "%.1f MB/s; throughput ratio %.2fx (goal 0.6x: at least)\n",
        tOurs, mbOurs, tRaw, mbRaw, mbOurs / mbRaw);

    for (int span : {10, minutes}) {
        const long kib = bench::PeakKiB([&] {
            bench::RemoveTree(host + "/img");
            platform::CreateDirectoryTree("C:\\img\\e\\" + std::string(kDay));
            CopyMinutes(cameras, span);
        });
        std::printf("peak memory copying %d minutes: %ld KiB\n", span, kib);
    }
    bench::RemoveTree(prefix);
    return 0;
}
