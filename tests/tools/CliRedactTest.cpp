// quillon-cli export --redact as whoever receives a redacted copy would check it, with ffmpeg:
// the masked regions hidden on the frames they cover and nowhere else, the silenced audio, the
// copy's account and manifest, and the master image as it was.
#ifdef QUILLON_HAVE_VIDEO
#include <cmath>
#include <regex>

#include "CliDay.h"
#include "PseudoDrives.h"
#include "backup/exhibit/JsonValue.h"
#include "mp4/ExportVerifier.h"

namespace {

std::string Quote(const std::string& s) {
    return "'" + s + "'";
}

// Of each frame, its time in the file and what the filter chain's metadata says of it.
struct FrameStats {
    double time = 0;
    std::map<std::string, double> values;  // "YAVG" for lavfi.signalstats.YAVG
};

std::vector<FrameStats> Stats(const std::string& file, const std::string& filters) {
    std::istringstream in(CommandOutput("ffmpeg -v error -i " + Quote(file) + " -an -sn -vf '" +
                                        filters + ",metadata=print:file=-' -f null - 2>/dev/null"));
    std::vector<FrameStats> frames;
    const std::regex frame(R"(^frame:\d+\s+pts:\d+\s+pts_time:([0-9.]+))");
    const std::regex value(R"(^lavfi\.[a-z]+\.([A-Za-z_.]+)=([-0-9.e+inf]+))");
    std::smatch m;
    for (std::string line; std::getline(in, line);) {
        if (std::regex_search(line, m, frame))
            frames.push_back({std::atof(m[1].str().c_str()), {}});
        else if (std::regex_search(line, m, value) && !frames.empty())
            frames.back().values[m[1].str()] = std::atof(m[2].str().c_str());
    }
    return frames;
}

std::string Crop(int x, int y, int w, int h) {
    return "crop=" + std::to_string(w) + ":" + std::to_string(h) + ":" + std::to_string(x) + ":" +
           std::to_string(y);
}

// The luma of every frame of a region, as ffmpeg decodes it.
std::vector<std::vector<std::uint8_t>> Lumas(const std::string& file, int x, int y, int w, int h) {
    const std::string raw = CommandOutput("ffmpeg -v error -i " + Quote(file) + " -an -sn -vf " +
                                          Crop(x, y, w, h) + " -f rawvideo -pix_fmt gray -");
    std::vector<std::vector<std::uint8_t>> frames;
    const std::size_t size = static_cast<std::size_t>(w) * h;
    for (std::size_t at = 0; at + size <= raw.size(); at += size)
        frames.emplace_back(raw.begin() + static_cast<std::ptrdiff_t>(at),
                            raw.begin() + static_cast<std::ptrdiff_t>(at + size));
    return frames;
}

// Detail finer than 16 pixels: the mean deviation of each 16 x 16 block from its own mean.
double FineDetail(const std::vector<std::vector<std::uint8_t>>& frames, int w, int h) {
    double total = 0;
    long long blocks = 0;
    for (const auto& f : frames)
        for (int by = 0; by + 16 <= h; by += 16)
            for (int bx = 0; bx + 16 <= w; bx += 16) {
                double mean = 0, deviation = 0;
                for (int y = by; y < by + 16; ++y)
                    for (int x = bx; x < bx + 16; ++x)
                        mean += f[static_cast<std::size_t>(y) * w + x];
                mean /= 256;
                for (int y = by; y < by + 16; ++y)
                    for (int x = bx; x < bx + 16; ++x)
                        deviation += std::fabs(f[static_cast<std::size_t>(y) * w + x] - mean);
                total += deviation / 256;
                ++blocks;
            }
    return blocks ? total / blocks : 0;
}

double Mean(const std::vector<FrameStats>& frames, const std::string& key) {
    double sum = 0;
    for (const FrameStats& f : frames)
        sum += f.values.count(key) ? f.values.at(key) : 0;
    return frames.empty() ? 0 : sum / static_cast<double>(frames.size());
}

// The PSNR (dB, average over the frames) of a region of one file against the same of another.
double Psnr(const std::string& file, const std::string& reference, const std::string& crop) {
    const std::string said = CommandOutput("ffmpeg -v info -i " + Quote(file) + " -i " +
                                           Quote(reference) + " -an -sn -lavfi '[0:v]" + crop +
                                           "[a];[1:v]" + crop + "[b];[a][b]psnr' -f null - 2>&1");
    std::smatch m;
    if (!std::regex_search(said, m, std::regex(R"(PSNR y:([0-9.inf]+))")))
        return 0;
    return m[1].str() == "inf" ? 1000 : std::atof(m[1].str().c_str());
}

// The RMS level (dB) of the audio from one second to another, as ffmpeg decodes it.
double AudioLevel(const std::string& file, double from, double to) {
    const std::string said = CommandOutput(
        "ffmpeg -v info -i " + Quote(file) + " -vn -sn -af 'atrim=" + std::to_string(from) + ":" +
        std::to_string(to) + ",astats=measure_perchannel=none' -f null - 2>&1");
    std::smatch m;
    if (!std::regex_search(said, m, std::regex(R"(RMS level dB: ([-0-9.inf]+))")))
        return 0;
    return m[1].str() == "-inf" ? -1000 : std::atof(m[1].str().c_str());
}

}  // namespace

// Two cameras' two minutes at 160 x 120, two pictures a second, both heard: camera 1 with its
// name and time written top left, exported plain and redacted.
class CliRedactTest : public CliFixture {
  protected:
    void SetUp() override {
        CliFixture::SetUp();
        if (Shell("{ command -v ffmpeg && command -v sha256sum; } >/dev/null") != 0)
            GTEST_SKIP() << "ffmpeg or sha256sum is missing";
        UseBuiltData();
        usb = MapDrive('E', "removable");
        mkrec::RecorderPlan plan = CliFixture::Plan(600, 601, 2, 160, 120);
        plan.fps = 2;
        plan.audioChannels = 2;
        plan.audioBytesPerMinute = 480000;
        Record(plan);
        options = {"--cameras", "2"};
        ASSERT_EQ(Add("1000", "1001", "1,2").status, 0);
        ASSERT_EQ(Backup().status, 0);
        image = usb + "/Backup";
        masks = prefix() + "/masks.json";
    }
    RunResult Export(const std::string& into, std::vector<std::string> more = {}) {
        more.insert(more.begin(),
                    {"export", "E:\\Backup", "--mp4", "--out", into, "--no-progress"});
        return Cli(more);
    }
    static std::string FileOf(const std::string& folder, int camera) {
        return folder + "/2010-05-23_1000-1001/2010-05-23_1000-1001_cam0" + std::to_string(camera) +
               ".mp4";
    }
    std::string usb, image, masks;
};

TEST_F(CliRedactTest, TheCopyHidesWhatTheMasksCoverWhenTheyCoverItAndNothingElse) {
    ASSERT_EQ(Cli({"key", "create"}).status, 0);
    const std::string plain = prefix() + "/plain", copy = prefix() + "/copy";
    ASSERT_THAT(Export(plain), Ok());
    WriteText(masks, R"({"masks": [
        {"camera": 1, "rect": [0, 0, 112, 48], "method": "pixelate"},
        {"camera": 1, "rect": [96, 64, 64, 48], "method": "solid",
         "from": "2010-05-23 10:00:30", "to": "2010-05-23 10:01:10"},
        {"camera": 2, "polygon": [[0, 0], [224, 0], [224, 96], [0, 96]], "size": [320, 240],
         "method": "blur"}],
        "mute": [{"camera": 1, "from": "2010-05-23 10:00:10", "to": "2010-05-23 10:00:19"}]})");
    const std::string manifestBefore = ReadText(image + "/SHA256SUMS");
    const RunResult made = Export(copy, {"--redact", masks});
    ASSERT_THAT(made, Ok());
    const std::string masterHash =
        CommandOutput("sha256sum " + Quote(image + "/SHA256SUMS") + " | cut -c1-64 | tr -d '\\n'");
    ASSERT_EQ(masterHash.size(), 64u);
    EXPECT_THAT(made.out, HasSubstr("redacted copy of " + masterHash));

    // The solid mask: black and still on every frame of its range (within the encoder's
    // deblocking of its edge), as the plain export elsewhere.
    const std::string solid = Crop(100, 68, 56, 40) + ",signalstats";
    const std::vector<FrameStats> red = Stats(FileOf(copy, 1), solid);
    const std::vector<FrameStats> was = Stats(FileOf(plain, 1), solid);
    ASSERT_EQ(red.size(), 240u);
    ASSERT_EQ(was.size(), red.size());
    int covered = 0;
    for (std::size_t i = 0; i < red.size(); ++i) {
        SCOPED_TRACE(red[i].time);
        const bool inRange = red[i].time >= 30 && red[i].time < 71;
        if (inRange) {
            ++covered;
            EXPECT_NEAR(red[i].values.at("YAVG"), 16, 1);
            EXPECT_LE(red[i].values.at("YMAX") - red[i].values.at("YMIN"), 2);
            // From the range's third frame on: the encoder's prediction settles on the first two.
            if (covered > 2) {
                EXPECT_EQ(red[i].values.at("YDIF"), 0);
            }
        } else {
            EXPECT_NEAR(red[i].values.at("YAVG"), was[i].values.at("YAVG"), 3);
            EXPECT_GT(was[i].values.at("YAVG"), 40);
        }
    }
    EXPECT_EQ(covered, 82);
    // Outside the range the region is the recording's.
    EXPECT_GE(
        Psnr(FileOf(copy, 1), FileOf(plain, 1), Crop(96, 64, 64, 48) + ",trim=start=0:end=29.9"),
        35);

    // Pixelate and blur: the writing under them gone, the rest of the picture as it was.
    const double plainText = FineDetail(Lumas(FileOf(plain, 1), 0, 0, 112, 48), 112, 48);
    EXPECT_GT(plainText, 5);
    EXPECT_LT(FineDetail(Lumas(FileOf(copy, 1), 0, 0, 112, 48), 112, 48), plainText / 5);
    const std::string edges = Crop(0, 0, 112, 48) + ",edgedetect,signalstats";
    const double plainEdges = Mean(Stats(FileOf(plain, 2), edges), "YAVG");
    EXPECT_GT(plainEdges, 10);
    EXPECT_LT(Mean(Stats(FileOf(copy, 2), edges), "YAVG"), plainEdges / 10);
    EXPECT_LT(FineDetail(Lumas(FileOf(copy, 2), 0, 0, 112, 48), 112, 48),
              FineDetail(Lumas(FileOf(plain, 2), 0, 0, 112, 48), 112, 48) / 5);
    EXPECT_GE(Psnr(FileOf(copy, 1), FileOf(plain, 1), Crop(0, 64, 96, 56)), 35);
    EXPECT_GE(Psnr(FileOf(copy, 2), FileOf(plain, 2), Crop(0, 64, 160, 56)), 35);
    EXPECT_GE(Psnr(FileOf(copy, 2), FileOf(plain, 2), Crop(112, 0, 48, 48)), 35);

    // The mute: camera 1 silent over its seconds, heard around them; camera 2 untouched.
    EXPECT_LT(AudioLevel(FileOf(copy, 1), 10.5, 19.5), -80);
    EXPECT_GT(AudioLevel(FileOf(plain, 1), 10.5, 19.5), -60);
    EXPECT_GT(AudioLevel(FileOf(copy, 1), 21, 29), -60);
    EXPECT_GT(AudioLevel(FileOf(copy, 2), 10.5, 19.5), -60);

    // What the copy says of itself: its master, each mask, what each hid in which file.
    exhibit::JsonValue account;
    ASSERT_EQ(exhibit::JsonValue::Parse(ReadText(copy + "/REDACTION.json"), account), "");
    EXPECT_EQ(account["master_manifest_hash"].String(), masterHash);
    EXPECT_THAT(account["program"].String(), HasSubstr("quillon-cli "));
    ASSERT_EQ(account["masks"].items.size(), 3u);
    const exhibit::JsonValue& timed = account["masks"].items[1];
    EXPECT_EQ(timed["given"]["from"].String(), "2010-05-23 10:00:30");
    EXPECT_EQ(timed["method"].String(), "solid");
    ASSERT_EQ(timed["files"].items.size(), 1u);
    EXPECT_EQ(timed["files"].items[0]["file"].String(),
              "2010-05-23_1000-1001/2010-05-23_1000-1001_cam01.mp4");
    EXPECT_EQ(timed["files"].items[0]["pictures"].number, 82);
    EXPECT_EQ(timed["files"].items[0]["first"].String(), "2010-05-23 10:00:30");
    EXPECT_EQ(timed["files"].items[0]["last"].String(), "2010-05-23 10:01:10");
    EXPECT_EQ(account["masks"].items[2]["files"].items[0]["pictures"].number, 240);
    EXPECT_EQ(account["mute"].items[0]["files"].items[0]["silenced_seconds"].number, 10);

    // The files say what they are, and the copy's manifest holds them, signed.
    EXPECT_THAT(CommandOutput("ffprobe -v error -show_entries format_tags=title -of csv=p=0 " +
                              Quote(FileOf(copy, 2))),
                HasSubstr("(redacted copy of " + masterHash + ")"));
    const mp4::ExportCheck boxes = mp4::CheckExportFile(FileOf(copy, 2), {"", true});
    ASSERT_TRUE(boxes.ok()) << boxes.problem;
    EXPECT_EQ(boxes.unit.video[0].texts[3].rfind("redacted copy of " + masterHash, 0), 0u);
    int status = -1;
    const std::string checked =
        CommandOutput("cd " + Quote(copy) + " && sha256sum -c SHA256SUMS 2>&1", &status);
    EXPECT_EQ(status, 0) << checked;
    EXPECT_THAT(checked, HasSubstr("REDACTION.json: OK"));
    EXPECT_THAT(checked, HasSubstr("_cam02.mp4: OK"));
    EXPECT_EQ(std::count(checked.begin(), checked.end(), '\n'), 3);
    if (Shell("command -v openssl >/dev/null") == 0) {
        EXPECT_EQ(Shell("cd " + Quote(copy) +
                        " && openssl pkeyutl -verify -pubin -inkey SHA256SUMS.pub -rawin -in "
                        "SHA256SUMS -sigfile SHA256SUMS.sig >/dev/null 2>&1"),
                  0);
    }

    // The master as it was, and its custody log saying a redacted copy was made.
    EXPECT_EQ(ReadText(image + "/SHA256SUMS"), manifestBefore);
    EXPECT_THAT(Cli({"verify", "E:\\Backup"}), Ok());
    EXPECT_THAT(ReadText(image + "/CUSTODY.jsonl"), HasSubstr("redacted copy: MP4 files into"));
}

TEST_F(CliRedactTest, AMasksFileWrongAnywhereIsRefusedBeforeAnyFileIsMade) {
    const std::string copy = prefix() + "/copy";
    const std::pair<std::string, std::string> wrong[] = {
        {"not json", "not JSON"},
        {R"({"masks": [{"camera": 1, "rect": [0, 0, 8, 8], "method": "smear"}]})",
         "masks[0].method"},
        {R"({"masks": [{"camera": 65, "rect": [0, 0, 8, 8], "method": "solid"}]})",
         "masks[0].camera"},
        {R"({"masks": [{"camera": 1, "polygon": [[0, 0], [1, 1]], "method": "blur"}]})",
         "masks[0].polygon"},
    };
    for (const auto& [text, where] : wrong) {
        SCOPED_TRACE(text);
        WriteText(masks, text);
        EXPECT_THAT(Export(copy, {"--redact", masks}), Err(1, where));
        EXPECT_FALSE(fs::exists(copy));
    }
    EXPECT_THAT(Export(copy, {"--redact", prefix() + "/none.json"}), Err(1, "cannot be read"));
    EXPECT_FALSE(fs::exists(copy));
    EXPECT_EQ(ReadText(image + "/CUSTODY.jsonl").find("redacted"), std::string::npos);
}

#endif
