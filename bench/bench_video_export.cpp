// The MP4 export of 30 minutes of 8 cameras (every camera a file, the cameras side by side on
// the cores) against the ffmpeg command line encoding the same pictures with the same encoder
// settings, camera after camera, in the same run; and the export's peak memory at a third of
// the range and at all of it.
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "BenchEnv.h"
#include "BenchExport.h"
#include "playback/LocalPictureSource.h"
#include "video/EntryExport.h"

namespace {

const char kDay[] = "20260101";
const char kEntry[] = "2026_01_01=10,00~10,29";

}  // namespace

int main() {
    const int minutes = bench::EnvNumber("QUILLON_BENCH_MINUTES", 30);
    const int fps = bench::EnvNumber("QUILLON_BENCH_FPS", 2);
    const std::string prefix = bench::MakePrefix("quillon-bench-video");
    const std::string host = prefix + "/drive_c";
    const std::string entry = std::string("C:\\") + kEntry;
    const int width = bench::EnvNumber("QUILLON_BENCH_WIDTH", 320);
    bench::MakeEntryRecordings(entry, kDay, minutes, 8, fps, width, width * 3 / 4);

    // The same pictures for the command line: each camera's JPEGs back to back, the stream its
    // JPEG reader takes, written before anything is timed.
    playback::LocalPictureSource source(entry);
    std::vector<std::uint8_t> bytes;
    for (int c = 0; c < 8; ++c) {
        std::ofstream cam(host + "/cam" + std::to_string(c) + ".mjpeg", std::ios::binary);
        for (const int m : source.Minutes(kDay))
            for (const auto& p : source.Pictures(kDay, m, c).pictures) {
                if (source.Read(kDay, m, p, bytes))
                    cam.write(reinterpret_cast<const char*>(bytes.data()),
                              static_cast<std::streamsize>(bytes.size()));
            }
    }
    // Camera after camera (each run of the command line spreads its encoder over the cores),
    // or two cameras at a time, as our export runs them.
    auto ffmpegRuns = [&](int atOnce) {
        const std::string command =
            "printf '%s\\n' 0 1 2 3 4 5 6 7 | xargs -P " + std::to_string(atOnce) +
            " -I@ ffmpeg -v error -y -f mjpeg -framerate " + std::to_string(fps) + " -i '" + host +
            "/cam@.mjpeg' -c:v libx264 -preset veryfast -crf 20 -bf 0 -g 50 -pix_fmt yuv420p '" +
            host + "/cam@.mp4'";
        if (std::system(command.c_str()) != 0)
            std::fprintf(stderr, "ffmpeg failed\n");
    };
    auto ffmpeg = [&] { ffmpegRuns(1); };
    auto ffmpegTwo = [&] { ffmpegRuns(2); };
    long long pictures = 0;
    auto ours = [&] {
        bench::RemoveTree(host + "/out");
        pictures = bench::ExportCameras(entry, "C:\\out", 8);
    };
    ffmpeg();  // warm caches and the encoder's first start
    const double tFfmpeg0 = bench::ProcessorSeconds(RUSAGE_CHILDREN);
    const double tFfmpeg = bench::BestOf(1, ffmpeg);
    const double cpuFfmpeg = bench::ProcessorSeconds(RUSAGE_CHILDREN) - tFfmpeg0;
    const double tFfmpegTwo = bench::BestOf(1, ffmpegTwo);
    const double cpu0 = bench::ProcessorSeconds(RUSAGE_SELF);
    const double tOurs = bench::BestOf(1, ours);
    const double cpuOurs = bench::ProcessorSeconds(RUSAGE_SELF) - cpu0;
    std::printf(
        "export of %lld pictures: %.2f s (processor %.2f s, %.2f cores); ffmpeg command "
        "line: %.2f s (processor %.2f s, %.2f cores); speed ratio %.2fx (goal 0.9x: at "
        "least)\n",
        pictures, tOurs, cpuOurs, cpuOurs / tOurs, tFfmpeg, cpuFfmpeg, cpuFfmpeg / tFfmpeg,
        tFfmpeg / tOurs);
    std::printf(
        "ffmpeg command line, two cameras at a time: %.2f s; speed ratio %.2fx (goal 0.9x: "
        "at least)\n",
        tFfmpegTwo, tFfmpegTwo / tOurs);
    const long third = bench::PeakKiB([&] {
        video::EntryExportRequest r;
        bench::RemoveTree(host + "/out3");
        // A third of the range: the same pictures of the first minutes only.
        std::filesystem::create_directories(host + "/third/" + kEntry + "/" + kDay);
        for (const auto& e : std::filesystem::directory_iterator(host + "/" + kEntry + "/" + kDay))
            if (e.is_regular_file() &&
                std::atoi(e.path().filename().string().substr(10, 2).c_str()) < minutes / 3)
                std::filesystem::create_symlink(e.path(), host + "/third/" + kEntry + "/" + kDay +
                                                              "/" + e.path().filename().string());
        bench::ExportCameras(host + "/third/" + kEntry, "C:\\out3", 8);
    });
    const long whole = bench::PeakKiB([&] { bench::ExportCameras(entry, "C:\\out4", 8); });
    std::printf("peak memory of the export: %ld KiB for %d minutes, %ld KiB for %d\n", third,
                minutes / 3, whole, minutes);
    bench::RemoveTree(prefix);
    return 0;
}
