// The redacted MP4 export of 10 minutes of 4 cameras against the plain export of the same
// pictures, in the same run: each camera with a blurred, a pixelated and a blacked-out region
// over a third of its picture in all, on every frame. Wall time and processor time, alternated
// and best of each, so that others' work on the machine weighs on both alike.
#include <cstdio>

#include "BenchEnv.h"
#include "BenchExport.h"

namespace {

const char kDay[] = "20260101";
const char kEntry[] = "2026_01_01=10,00~10,09";

std::vector<video::MaskPoint> Rect(double x, double y, double w, double h) {
    return {{x, y}, {x + w, y}, {x + w, y + h}, {x, y + h}};
}

}  // namespace

int main() {
    const int minutes = std::min(10, bench::EnvNumber("QUILLON_BENCH_MINUTES", 10));
    const int cameras = bench::EnvNumber("QUILLON_BENCH_CAMERAS", 4);
    const int runs = bench::EnvNumber("QUILLON_BENCH_RUNS", 2);
    const std::string prefix = bench::MakePrefix("quillon-bench-redact");
    const std::string host = prefix + "/drive_c";
    const std::string entry = std::string("C:\\") + kEntry;
    const int width = bench::EnvNumber("QUILLON_BENCH_WIDTH", 704);
    const mkrec::RecorderPlan plan =
        bench::MakeEntryRecordings(entry, kDay, minutes, cameras,
                                   bench::EnvNumber("QUILLON_BENCH_FPS", 2), width, width * 9 / 11);

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
    bench::ExportCameras(entry, "C:\\warm", cameras);  // the encoder's first start, warm caches
    for (int i = 0; i < runs; ++i) {
        for (const bool redacted : {false, true}) {
            bench::RemoveTree(host + "/out");
            const double cpu0 = bench::ProcessorSeconds();
            const double t = bench::Seconds([&] {
                pictures =
                    bench::ExportCameras(entry, "C:\\out", cameras, redacted ? &masks : nullptr);
            });
            const double cpu = bench::ProcessorSeconds() - cpu0;
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
