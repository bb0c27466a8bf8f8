// The redacted MP4 export of 10 minutes of 4 cameras against the plain export of the same
// pictures, in the same run: each camera with a blurred, a pixelated and a blacked-out region
// over a third of its picture in all, on every frame. Wall time and processor time, alternated
// and best of each, so that others' work on the machine weighs on both alike.
#include <sys/resource.h>

#include <cstdio>

#include "BenchEnv.h"
#include "mkrec/Recorder.h"
#include "video/EntryExport.h"

namespace {

const char kDay[] = "20260101";
const char kEntry[] = "2026_01_01=10,00~10,09";

double ProcessorSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

std::vector<video::MaskPoint> Rect(double x, double y, double w, double h) {
    return {{x, y}, {x + w, y}, {x + w, y + h}, {x, y + h}};
}

long long Export(const std::string& entry, const std::string& out, int cameras,
                 const video::RedactionPlan* plan) {
    video::EntryExportRequest request;
    request.entryFolder = entry;
    request.outFolder = out;
    for (int c = 0; c < cameras; ++c)
        request.cameras.push_back(c);
    request.label = "bench";
    request.unit = "bench";
    request.redaction = plan;
    long long pictures = 0;
    for (const video::CameraFile& f : video::ExportEntry(request)) {
        if (!f.result.written)
            std::fprintf(stderr, "camera %d: %s\n", f.camera + 1, f.result.problem.c_str());
        pictures += f.result.pictures;
    }
    return pictures;
}

}  // namespace

int main() {
    const int minutes = std::min(10, bench::EnvNumber("QUILLON_BENCH_MINUTES", 10));
    const int cameras = bench::EnvNumber("QUILLON_BENCH_CAMERAS", 4);
    const int runs = bench::EnvNumber("QUILLON_BENCH_RUNS", 2);
    const std::string prefix = bench::MakePrefix("quillon-bench-redact");
    const std::string host = prefix + "/drive_c";
    const std::string entry = std::string("C:\\") + kEntry;
    mkrec::RecorderPlan plan;
    plan.root = entry;
    plan.days = {kDay};
    plan.firstMinute = 600;
    plan.lastMinute = 600 + minutes - 1;
    plan.cameras = cameras;
    plan.fps = bench::EnvNumber("QUILLON_BENCH_FPS", 2);
    plan.width = bench::EnvNumber("QUILLON_BENCH_WIDTH", 704);
    plan.height = plan.width * 9 / 11;
    std::printf("making %d minutes of %d cameras at %d pictures a second, %dx%d...\n", minutes,
                cameras, plan.fps, plan.width, plan.height);
    mkrec::MakeRecordings(plan);

    const double w = plan.width, h = plan.height;
    video::RedactionPlan masks;
    masks.masterHash = "bench";
    for (int c = 0; c < cameras; ++c) {
        video::RedactionMask blur;
        blur.camera = c;
        blur.method = video::MaskMethod::kBlur;
        // A face-sized slanted quadrilateral.
        blur.polygon = {
            {w * 0.1, h * 0.1}, {w * 0.45, h * 0.15}, {w * 0.4, h * 0.55}, {w * 0.05, h * 0.5}};
        video::RedactionMask mosaic = blur;
        mosaic.method = video::MaskMethod::kPixelate;
        mosaic.polygon = Rect(w * 0.55, h * 0.1, w * 0.3, h * 0.35);
        video::RedactionMask solid = blur;
        solid.method = video::MaskMethod::kSolid;
        solid.polygon = Rect(w * 0.5, h * 0.6, w * 0.3, h * 0.3);
        masks.masks.insert(masks.masks.end(), {blur, mosaic, solid});
    }

    long long pictures = 0;
    double tPlain = 1e300, tRedacted = 1e300, cpuPlain = 1e300, cpuRedacted = 1e300;
    Export(entry, "C:\\warm", cameras, nullptr);  // the encoder's first start, warm caches
    for (int i = 0; i < runs; ++i) {
        for (const bool redacted : {false, true}) {
            bench::RemoveTree(host + "/out");
            const double cpu0 = ProcessorSeconds();
            const double t = bench::Seconds(
                [&] { pictures = Export(entry, "C:\\out", cameras, redacted ? &masks : nullptr); });
            const double cpu = ProcessorSeconds() - cpu0;
            (redacted ? tRedacted : tPlain) = std::min(redacted ? tRedacted : tPlain, t);
            (redacted ? cpuRedacted : cpuPlain) = std::min(redacted ? cpuRedacted : cpuPlain, cpu);
        }
    }
    std::printf(
        "export of %lld pictures: plain %.2f s (processor %.2f s), redacted %.2f s (processor "
        "%.2f s); speed ratio %.2fx wall, %.2fx processor (goal 0.8x: at least)\n",
        pictures, tPlain, cpuPlain, tRedacted, cpuRedacted, tPlain / tRedacted,
        cpuPlain / cpuRedacted);
    bench::RemoveTree(prefix);
    return 0;
}
