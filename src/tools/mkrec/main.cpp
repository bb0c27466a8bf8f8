// quillon-mkrec: writes recorder storage for demos and tests, deterministic from a seed.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>

#include "app/CHKLM.h"
#include "mkrec/Recorder.h"

namespace {

const char kUsage[] =
    "usage: quillon-mkrec --days YYYYMMDD[,YYYYMMDD...] [options]\n"
    "  --root PATH        recordings root (drive or host path; default the configured one)\n"
    "  --from HHMM        first minute (default 1000)     --to HHMM  last minute (default 1009)\n"
    "  --cameras N        1-64 (default 4)                --fps N    pictures a second (1)\n"
    "  --size WxH         picture size (160x120)          --quality N JPEG quality (60)\n"
    "  --audio N          audio channels (0)              --audio-bytes N  per minute (480000)\n"
    "  --model HEX        recorder model code (670)       --seed N   (1)\n"
    "  --reverse-rows     store index rows out of position order\n"
    "  --gap HHMM[,HHMM]  minutes without recording\n"
    "  --stop CAM@HHMM    camera (1-64) stops recording from that minute (repeatable)\n"
    "  --damage KIND@HHMM KIND: notdb (index is text), notable (no indextable), short (data cut)\n"
    "quillon-mkrec --version prints the version, --help this text.\n";

int Minute(const std::string& hhmm) {
    if (hhmm.size() != 4 || hhmm.find_first_not_of("0123456789") != std::string::npos)
        throw std::invalid_argument("a time is four digits HHMM: " + hhmm);
    int h = std::stoi(hhmm.substr(0, 2)), m = std::stoi(hhmm.substr(2, 2));
    if (h > 23 || m > 59)
        throw std::invalid_argument("no such time: " + hhmm);
    return h * 60 + m;
}

int Number(const std::string& s, int base = 10) {
    char* end = nullptr;
    long v = std::strtol(s.c_str(), &end, base);
    if (s.empty() || *end)
        throw std::invalid_argument("not a number: " + s);
    return static_cast<int>(v);
}

template <typename F>
void EachListItem(const std::string& list, F f) {
    std::size_t start = 0;
    while (start <= list.size()) {
        std::size_t comma = list.find(',', start);
        std::string item =
            list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        if (!item.empty())
            f(item);
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
}

}  // namespace

int main(int argc, char** argv) {
    mkrec::RecorderPlan plan;
    bool rootGiven = false;
    try {
        for (int i = 1; i < argc; ++i) {
            std::string a = argv[i];
            auto value = [&]() -> std::string {
                if (i + 1 >= argc)
                    throw std::invalid_argument(a + " needs a value");
                return argv[++i];
            };
            if (a == "--help" || a == "-h") {
                std::fputs(kUsage, stdout);
                return 0;
            } else if (a == "--version") {
                std::printf("quillon-mkrec %s\n", QUILLON_VERSION);
                return 0;
            } else if (a == "--root") {
                plan.root = value();
                rootGiven = true;
            } else if (a == "--days")
                EachListItem(value(), [&](const std::string& d) {
                    if (d.size() != 8 || d.find_first_not_of("0123456789") != std::string::npos)
                        throw std::invalid_argument("a day is eight digits YYYYMMDD: " + d);
                    plan.days.push_back(d);
                });
            else if (a == "--from")
                plan.firstMinute = Minute(value());
            else if (a == "--to")
                plan.lastMinute = Minute(value());
            else if (a == "--cameras")
                plan.cameras = Number(value());
            else if (a == "--fps")
                plan.fps = Number(value());
            else if (a == "--quality")
                plan.quality = Number(value());
            else if (a == "--audio")
                plan.audioChannels = Number(value());
            else if (a == "--audio-bytes")
                plan.audioBytesPerMinute = Number(value());
            else if (a == "--model")
                plan.modelCode = Number(value(), 16);
            else if (a == "--seed")
                plan.seed = static_cast<std::uint32_t>(Number(value()));
            else if (a == "--reverse-rows")
                plan.reverseRowOrder = true;
            else if (a == "--size") {
                std::string v = value();
                std::size_t x = v.find('x');
                if (x == std::string::npos)
                    throw std::invalid_argument("size is WxH: " + v);
                plan.width = Number(v.substr(0, x));
                plan.height = Number(v.substr(x + 1));
            } else if (a == "--gap") {
                EachListItem(value(),
                             [&](const std::string& t) { plan.gapMinutes.insert(Minute(t)); });
            } else if (a == "--stop" || a == "--damage") {
                std::string v = value();
                std::size_t at = v.find('@');
                if (at == std::string::npos)
                    throw std::invalid_argument(a + " takes X@HHMM");
                std::string what = v.substr(0, at);
                int minute = Minute(v.substr(at + 1));
                if (a == "--stop") {
                    int cam = Number(what);
                    if (cam < 1 || cam > 64)
                        throw std::invalid_argument("camera is 1 to 64");
                    plan.cameraStops[cam - 1] = minute;
                } else if (what == "notdb")
                    plan.damagedMinutes[minute] = mkrec::Damage::kNotADatabase;
                else if (what == "notable")
                    plan.damagedMinutes[minute] = mkrec::Damage::kNoTable;
                else if (what == "short")
                    plan.damagedMinutes[minute] = mkrec::Damage::kShortData;
                else
                    throw std::invalid_argument("unknown damage: " + what);
            } else {
                throw std::invalid_argument("unknown option " + a);
            }
        }
        if (plan.days.empty())
            throw std::invalid_argument("--days is required");
        // The registry (and its storage path) only once there is something to record.
        if (!rootGiven)
            plan.root = GetStoragePath();
        mkrec::RecorderStats stats = mkrec::MakeRecordings(plan);
        std::printf("wrote %lld minutes, %lld pictures (%lld bytes), %lld audio bytes below %s\n",
                    stats.minutes, stats.pictures, stats.pictureBytes, stats.audioBytes,
                    plan.root.c_str());
        return 0;
    } catch (const std::invalid_argument& e) {
        std::fprintf(stderr, "quillon-mkrec: %s\n%s", e.what(), kUsage);
        return 2;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "quillon-mkrec: %s\n", e.what());
        return 1;
    }
}
