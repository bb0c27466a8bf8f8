// Playing one camera of a 16-camera recording at 25 pictures a second: whether the player holds
// the recorded pace and how much of one core it takes, beside the cost of only reading,
// decoding and scaling the same pictures back to back (the work that cannot be avoided).
#include <sys/mount.h>
#include <sys/resource.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <cstdio>
#include <cstdlib>

#include "BenchEnv.h"
#include "mkrec/Recorder.h"
#include "playback/LocalPictureSource.h"
#include "preview/PlaybackView.h"

namespace {

double CpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

struct Owner : ISearchOwner {
    void OnSearchNotify(unsigned wParam, const std::vector<std::int32_t>&) override {
        (wParam == kSearchDayListReady ? daysReady : pictureTimes)++;
    }
    int daysReady = 0, pictureTimes = 0;
};

// Runs the window's event loop as the program does, sleeping while there is nothing to do.
void Serve(double seconds) {
    QEventLoop loop;
    QTimer::singleShot(static_cast<int>(seconds * 1000), &loop, &QEventLoop::quit);
    loop.exec();
}

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    const int seconds = bench::EnvNumber("QUILLON_BENCH_SECONDS", 20);
    const std::string prefix = bench::MakePrefix("quillon-bench-playback");
    const std::string host = prefix + "/drive_c";
    const bool mounted = ::mount("tmpfs", host.c_str(), "tmpfs", 0, "size=2g") == 0;
    std::printf("recordings on %s\n", mounted ? "a tmpfs" : "the disk of the prefix");
    mkrec::RecorderPlan plan;
    plan.root = "C:\\QorData";
    plan.days = {"20260101"};
    plan.firstMinute = 600;
    plan.lastMinute = 600 + (seconds + 59) / 60;
    plan.cameras = 16;
    plan.fps = 25;
    plan.width = 352;
    plan.height = 288;
    std::printf("making %d minutes of 16 cameras at 25 pictures a second (352x288)...\n",
                plan.lastMinute - plan.firstMinute + 1);
    mkrec::MakeRecordings(plan);

    QApplication app(argc, argv);
    PlaybackView view([](int, const std::string&, int) {
        return std::make_unique<playback::LocalPictureSource>("C:\\QorData");
    });
    view.resize(410, 308);  // the picture area of the window at its opening size
    view.show();
    Owner owner;
    view.InitSearchInfo(&owner, 0, 0, 16, "", 0, 22001);
    while (!owner.daysReady)
        Serve(0.05);
    view.GetDayIndexInfo("2026-01-01");
    view.SetOneChannelMode(5);

    // The baseline: the same camera's pictures read, decoded and scaled one after another.
    const int due = 25 * seconds;
    playback::LocalPictureSource source("C:\\QorData");
    const double baseCpu0 = CpuSeconds();
    int decodedAlone = 0;
    for (int minute = plan.firstMinute; decodedAlone < due && minute <= plan.lastMinute; ++minute)
        for (const auto& picture : source.Pictures("20260101", minute, 5).pictures) {
            if (decodedAlone == due)
                break;
            std::vector<std::uint8_t> bytes;
            QImage image;
            const platform::Outcome read = source.Read("20260101", minute, picture, bytes);
            if (!read || !image.loadFromData(bytes.data(), static_cast<int>(bytes.size()), "JPG")) {
                std::fprintf(stderr, "a picture could not be decoded: %s\n",
                             read ? "not a JPEG" : read.error().Said().c_str());
                return 1;
            }
            image = image.scaled(410, 308, Qt::KeepAspectRatio, Qt::SmoothTransformation);
            ++decodedAlone;
        }
    const double baseCpu = CpuSeconds() - baseCpu0;

    const double cpu0 = CpuSeconds();
    QElapsedTimer wall;
    wall.start();
    view.Search_ForwardPlay(0, 2026, 1, 1, 10, 0);
    Serve(seconds);
    const int decoded = view.picturesDecoded(), drawn = view.picturesDrawn();
    const double elapsed = static_cast<double>(wall.elapsed()) / 1000.0;
    const double cpu = CpuSeconds() - cpu0;
    view.Search_Stop();

    const double shouldHave = 25.0 * elapsed;
    std::printf("played %d pictures in %.1f s, %.0f due at the recorded pace: %.1f%% of the pace\n",
                decoded, elapsed, shouldHave, 100.0 * decoded / shouldHave);
    std::printf("drawn %d, times told to the owner %d\n", drawn, owner.pictureTimes);
    std::printf("CPU while playing: %.2f s, %.2f of one core (goal: under 0.50)\n", cpu,
                cpu / elapsed);
    std::printf("reading, decoding and scaling %d pictures alone: %.2f s of CPU\n", decodedAlone,
                baseCpu);
    std::printf("playing costs %.2fx the unavoidable work\n",
                baseCpu > 0 ? cpu / (baseCpu * decoded / std::max(decodedAlone, 1)) : 0.0);
    if (mounted)
        ::umount2(host.c_str(), MNT_DETACH);
    std::filesystem::remove_all(prefix);
    return 0;
}
