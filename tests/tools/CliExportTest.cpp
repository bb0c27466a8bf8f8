// quillon-cli export as an investigator receives its files: what ffprobe and ffmpeg find in
// them against what an independent reader of the image's indexes counts, the recorded time as
// subtitles, and an image that fails its check refused, or exported saying so.
#include <sys/mount.h>

#include <algorithm>
#include <regex>

#include "CliDay.h"
#include "PseudoDrives.h"
#include "ScopedEnv.h"
#ifdef QUILLON_HAVE_VIDEO
#include "mp4/ExportVerifier.h"
#include "video/CameraExport.h"
#endif

namespace {

std::string Quote(const std::string& s) {
    return "'" + s + "'";
}

// The stream of the file's pictures, and its subtitles as SubRip, as ffmpeg reads them.
std::string VideoDigest(const std::string& file) {
    return CommandOutput("ffmpeg -v error -i " + Quote(file) + " -map 0:v -c copy -f md5 - 2>&1");
}
std::vector<std::string> Cues(const std::string& file, std::vector<std::string>* times = nullptr) {
    std::istringstream in(
        CommandOutput("ffmpeg -v error -i " + Quote(file) + " -map 0:s -f srt - 2>&1"));
    std::vector<std::string> cues;
    for (std::string line; std::getline(in, line);) {
        if (line.find(" --> ") != std::string::npos && times)
            times->push_back(line.substr(0, 12));
        if (line.size() > 4 && line.rfind("20", 0) == 0 && line[4] == '-')
            cues.push_back(line);
    }
    return cues;
}
std::string Probe(const std::string& entries, const std::string& file) {
    return CommandOutput("ffprobe -v error -show_entries " + entries + " -of csv=p=0 " +
                         Quote(file));
}

// The pictures ffprobe counts in the file's video.
long long Frames(const std::string& file) {
    return std::atoll(Probe("stream=nb_read_frames -count_frames -select_streams v", file).c_str());
}

}  // namespace

// An export of images made for the tests, each from a recording of its own.
class CliExportImageTest : public CliFixture {
  protected:
    void SetUp() override {
        CliFixture::SetUp();
#ifndef QUILLON_HAVE_VIDEO
        GTEST_SKIP() << "built without the video export";
#endif
        if (Shell(
                "{ command -v ffprobe && command -v ffmpeg && command -v sqlite3; } >/dev/null") !=
            0)
            GTEST_SKIP() << "ffprobe, ffmpeg or sqlite3 is missing";
        UseBuiltData();
        usb = MapDrive('E', "removable");
        out = prefix() + "/out";
    }
    static mkrec::RecorderPlan Plan(const std::string& day, int first, int last) {
        mkrec::RecorderPlan plan = CliFixture::Plan(first, last, 1);
        plan.days = {day};
        return plan;
    }
    std::string usb, out;
};

// One image of two cameras' four minutes, with their audio and a memo.
class CliExportTest : public CliExportImageTest {
  protected:
    void SetUp() override {
        CliExportImageTest::SetUp();
        if (IsSkipped())
            return;
        mkrec::RecorderPlan plan = CliFixture::Plan(600, 603, 3, 64, 48);
        plan.fps = 3;
        plan.cameraStops = {{2, 600}};  // camera 3 records nothing in the entry
        plan.audioChannels = 2;         // cameras 1 and 2 are heard
        Record(plan);
        options = {"--cameras", "3"};
        ASSERT_EQ(Add("1000", "1003", "1,2", {"--memo", "delivery at the gate"}).status, 0);
        ASSERT_EQ(Backup().status, 0);
        entry = usb + "/Backup/2010_05_23=10,00~10,03/";
    }
    RunResult Export(std::vector<std::string> more = {}) {
        more.insert(more.begin(), {"export", "E:\\Backup", "--mp4", "--out", out, "--no-progress"});
        return Cli(more);
    }
    std::string FileOf(int camera) const {  // cameras 1 to 9
        return out + "/2010-05-23_1000-1003/2010-05-23_1000-1003_cam0" + std::to_string(camera) +
               ".mp4";
    }
    // Rows of the camera (from 1) in the image's minute indexes, read by sqlite3; and their
    // recorded seconds, as UTC text.
    long long Rows(int camera, std::set<std::string>* seconds = nullptr) {
        const auto each = [&](const std::string& query) {
            return std::istringstream(CommandOutput("for f in " + Quote(entry + kDay) +
                                                    "/????????????N.idx; do sqlite3 \"$f\" \"" +
                                                    query + "\"; done 2>/dev/null"));
        };
        long long rows = 0;
        std::istringstream counts =
            each("select count(*) from indextable where camnum=" + std::to_string(camera - 1));
        for (long long n; counts >> n;)
            rows += n;
        std::istringstream times = each(
            "select distinct strftime('%Y-%m-%d %H:%M:%S', rectime, 'unixepoch') from indextable");
        for (std::string t; seconds && std::getline(times, t);)
            seconds->insert(t);
        return rows;
    }
    std::string entry;
};

TEST_F(CliExportTest, EachCameraIsAnMp4OfEveryPictureWithTheRecordedTimeAsSubtitles) {
    // What an export killed before left under a temporary name goes.
    WriteText(out + "/2010-05-23_1000-1003/.2010-05-23_1000-1003_cam01.mp4.1.2.quillon-part",
              "half a file");
    EXPECT_THAT(Export(), Ok());
    ASSERT_TRUE(fs::exists(FileOf(1)) && fs::exists(FileOf(2)));
    EXPECT_FALSE(fs::exists(FileOf(3)));
    EXPECT_TRUE(TempFilesBelow(out).empty());
    // A camera asked for that has no picture in the entry: a line, no file, and a failure.
    EXPECT_THAT(Export({"--cams", "3"}), Out(1, "camera 3: no file: camera 3 has no picture"));
    EXPECT_FALSE(fs::exists(FileOf(3)));
    for (int camera : {1, 2}) {
        SCOPED_TRACE(camera);
        const std::string file = Quote(FileOf(camera));
        std::set<std::string> seconds;
        const long long rows = Rows(camera, &seconds);
        ASSERT_GT(rows, 0);
        // Every picture once: as many decoded frames as the camera has index rows.
        const std::string streams = CommandOutput(
            "ffprobe -v error -count_frames -show_entries "
            "stream=codec_type,codec_name,nb_read_frames,width,height -of compact " +
            file);
        EXPECT_THAT(streams, HasSubstr("codec_name=h264|codec_type=video|width=64|height=48|"
                                       "nb_read_frames=" +
                                       std::to_string(rows)));
        EXPECT_THAT(streams, HasSubstr("codec_name=mov_text|codec_type=subtitle"));
        // The camera's audio channel beside the pictures, as long as they last.
        const std::string audio =
            Probe("stream=codec_name,sample_rate,duration -select_streams a", FileOf(camera));
        EXPECT_EQ(audio.rfind("aac,8000,", 0), 0u) << audio;
        EXPECT_NEAR(std::atof(audio.substr(9).c_str()), 4 * 60.0, 1.0) << audio;
        // The pace of the recording: four minutes of pictures last four minutes.
        EXPECT_NEAR(std::atof(Probe("stream=duration -select_streams v", FileOf(camera)).c_str()),
                    4 * 60.0, 1.0);
        EXPECT_THAT(Probe("format_tags=creation_time", FileOf(camera)),
                    HasSubstr("2010-05-23T10:00:00"));
        int status = -1;
        EXPECT_EQ(CommandOutput("ffmpeg -v error -i " + file + " -f null - 2>&1", &status), "");
        EXPECT_EQ(status, 0);
        // One subtitle per recorded second, saying that second.
        const std::vector<std::string> cues = Cues(FileOf(camera));
        EXPECT_EQ(std::set<std::string>(cues.begin(), cues.end()), seconds);
    }
}

#ifdef QUILLON_HAVE_VIDEO
// The export format's boxes: the recorded start to the millisecond, the camera's UUID the same
// in every export, and a signature once the machine has its key.
TEST_F(CliExportTest, TheFilesCarryTheirStartAndCameraAndAreSignedOnceThereIsAKey) {
    ASSERT_EQ(Export().status, 0);
    mp4::ExportCheck first = mp4::CheckExportFile(FileOf(2));
    ASSERT_TRUE(first.ok()) << first.problem;
    EXPECT_FALSE(first.isSigned);
    // 2010-05-23 10:00:00 UTC in 100 ns ticks since 1601.
    EXPECT_EQ(first.segment.startFileTime, (1274608800ULL + 11644473600ULL) * 10000000ULL);
    EXPECT_EQ(first.segment.predecessor, first.segment.segment);
    EXPECT_NEAR(static_cast<double>(first.segment.duration), 4.0 * 60 * 10000000, 10000);  // 1 ms
    ASSERT_EQ(first.unit.video.size(), 1u);
    EXPECT_EQ(first.unit.video[0].texts[1], "camera 2");
    EXPECT_EQ(first.unit.video[0].texts[2], "2010-05-23 - 10:00 ~ 10:03");
    EXPECT_EQ(first.unit.video[0].texts[3], "delivery at the gate");  // the entry's memo
    ASSERT_EQ(first.unit.audio.size(), 1u);
    EXPECT_EQ(first.unit.audio[0].texts[1], "camera 2 audio");
    ASSERT_EQ(first.cameras.size(), 2u);
    EXPECT_EQ(first.cameras[0].camera, first.unit.video[0].id);
    EXPECT_EQ(first.cameras[1].camera, first.unit.audio[0].id);

    ASSERT_EQ(Cli({"key", "create"}).status, 0);
    fs::remove_all(out);
    ASSERT_EQ(Export().status, 0);
    const mp4::ExportCheck second = mp4::CheckExportFile(FileOf(2), {"", true});
    ASSERT_TRUE(second.ok()) << second.problem;
    EXPECT_TRUE(second.isSigned);
    EXPECT_EQ(second.cameras[0].camera, first.cameras[0].camera);
    EXPECT_NE(second.segment.segment, first.segment.segment);
    // As whoever receives the file checks it: by the certificate in it, or one they trust.
    RunResult v = Cli({"verify", FileOf(2)});
    EXPECT_THAT(v, Out(0, "signed by \"Quillon Backup "));
    const std::string cert = prefix() + "/keys/export-rsa.crt";
    ASSERT_TRUE(fs::exists(cert));
    EXPECT_EQ(Cli({"verify", FileOf(2), "--cert", cert}).status, 0);
    // Where the signature lies, for a check by hand (which mp4/ExportFinisherTest makes).
    EXPECT_THAT(v.out, testing::ContainsRegex("signature: [0-9]+ bytes at offset [0-9]+"));
    // One byte of a picture changed: the signature no longer holds.
    std::string bytes = ReadText(FileOf(2));
    bytes[bytes.size() / 3] ^= 1;
    WriteText(FileOf(2), bytes);
    EXPECT_FALSE(mp4::CheckExportFile(FileOf(2)).ok());
    EXPECT_THAT(Cli({"verify", FileOf(2)}), Out(1, "FAILS"));
}

// The files state the recorder's clock as the image's backup measured it, read from the report
// its manifest lists, and their signed start is the recorded one less its offset: a local
// recorder's clock is this machine's (no correction); one a link found 42.5 s ahead starts
// 42.5 s earlier; an image without a report says its clock was not measured.
TEST_F(CliExportTest, TheFilesStateTheClockOfTheImagesReportAndStartAtTheTimeItCorrects) {
    const std::string image = usb + "/Backup";
    ASSERT_EQ(Cli({"key", "create"}).status, 0);
    // The image's manifest lists the report given, or none.
    const auto listReport = [&](const std::string* report) {
        std::istringstream lines(ReadText(image + "/SHA256SUMS"));
        std::string manifest;
        for (std::string line; std::getline(lines, line);)
            if (line.size() < 13 || line.compare(line.size() - 13, 13, "  report.json") != 0)
                manifest += line + "\n";
        if (report) {
            WriteText(image + "/report.json", *report);
            manifest += CommandOutput("cd " + Quote(image) + " && sha256sum report.json");
        } else {
            fs::remove(image + "/report.json");
        }
        WriteText(image + "/SHA256SUMS", manifest);
    };
    const auto exported = [&](const std::string& says) {
        fs::remove_all(out);
        EXPECT_THAT(Export({"--cams", "1"}), Out(0, says));
        EXPECT_THAT(Probe("format_tags=comment", FileOf(1)), HasSubstr(says));
        const mp4::ExportCheck check = mp4::CheckExportFile(FileOf(1), {"", true});
        EXPECT_TRUE(check.ok()) << check.problem;
        EXPECT_FALSE(check.starts.empty());
        return check.starts.empty() ? 0LL
                                    : static_cast<long long>(check.segment.startFileTime -
                                                             check.starts.front().startFileTime);
    };
    const std::string report = ReadText(image + "/report.json");
    ASSERT_THAT(report, HasSubstr("\"method\": \"kernel\""));
    EXPECT_EQ(exported("recorder clock offset +0.000 s"), 0);
    EXPECT_THAT(Probe("format_tags=comment", FileOf(1)),
                HasSubstr("the recorder's clock is this machine's"));

    std::string ahead =
        std::regex_replace(report, std::regex("\"method\": \"kernel\""), "\"method\": \"link\"");
    ahead = std::regex_replace(ahead, std::regex("\"offset_seconds\": [-0-9.]+"),
                               "\"offset_seconds\": 42.500000");
    ahead = std::regex_replace(ahead, std::regex("\"uncertainty_seconds\": [-0-9.]+"),
                               "\"uncertainty_seconds\": 0.250000");
    listReport(&ahead);
    ASSERT_THAT(Cli({"verify", "E:\\Backup"}), Ok());
    EXPECT_EQ(exported("recorder clock offset +42.500 s \u00b1 0.250 s, measured over the link"),
              425000000LL);

    // A report changed since the backup, exported with --force: its clock is not taken.
    WriteText(image + "/report.json",
              std::regex_replace(ahead, std::regex("42\\.500000"), "600.000000"));
    fs::remove_all(out);
    EXPECT_THAT(Export({"--cams", "1", "--force"}), Out(1, "recorder clock offset not measured"));
    const mp4::ExportCheck forced = mp4::CheckExportFile(FileOf(1), {"", true});
    ASSERT_FALSE(forced.starts.empty()) << forced.problem;
    EXPECT_EQ(forced.segment.startFileTime, forced.starts.front().startFileTime);

    listReport(nullptr);
    ASSERT_THAT(Cli({"verify", "E:\\Backup"}), Ok());
    EXPECT_EQ(exported("recorder clock offset not measured"), 0);
}

// A target that cannot hold the whole file (a FAT stick holds 4 GiB at most): the export is cut
// into parts before minutes, each a whole file of its own, linked both ways, that together
// hold every picture once.
TEST_F(CliExportTest, AnExportTooLargeForItsTargetIsCutIntoLinkedPartsThatHoldEveryPicture) {
    fs::create_directories(out);
    video::CameraExportRequest request;
    request.entryFolder = entry;
    request.camera = 0;
    request.outPath = out + "/cam01.mp4";
    request.unit = "test unit";
    request.maxFileBytes = 1;  // every minute outgrows it: a part each
    const video::CameraExportResult r = video::ExportCamera(request);
    ASSERT_TRUE(r.written) << r.problem;
    ASSERT_EQ(r.files.size(), 4u);
    EXPECT_FALSE(fs::exists(out + "/cam01.mp4"));
    long long frames = 0;
    std::vector<mp4::ExportCheck> parts;
    for (std::size_t i = 0; i < r.files.size(); ++i) {
        EXPECT_EQ(r.files[i], out + "/cam01_part" + std::to_string(i + 1) + ".mp4");
        parts.push_back(mp4::CheckExportFile(r.files[i]));
        ASSERT_TRUE(parts.back().ok()) << parts.back().problem;
        // Each part starts at its own first picture: minute i of the entry.
        EXPECT_EQ(parts.back().segment.startFileTime,
                  (1274608800ULL + 60 * i + 11644473600ULL) * 10000000ULL);
        frames += Frames(r.files[i]);
    }
    EXPECT_EQ(frames, Rows(1));
    EXPECT_EQ(frames, r.pictures);
    EXPECT_EQ(parts.front().segment.predecessor, parts.front().segment.segment);
    EXPECT_EQ(parts.back().segment.successor, parts.back().segment.segment);
    for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
        EXPECT_EQ(parts[i].segment.successor, parts[i + 1].segment.segment);
        EXPECT_EQ(parts[i + 1].segment.predecessor, parts[i].segment.segment);
        EXPECT_NE(parts[i].segment.segment, parts[i + 1].segment.segment);
    }
    EXPECT_TRUE(TempFilesBelow(out).empty());
}
#endif

// A backup that makes the MP4 files itself: beside the minutes of the entry, in its manifest like
// every other file, checked by sha256sum and by verify with their boxes.
TEST_F(CliExportTest, ABackupWithMp4FilesListsThemInItsManifestAndVerifies) {
    ASSERT_EQ(Add("1000", "1001", "2").status, 0);
    ASSERT_THAT(Backup("E:\\WithVideo", {"--mp4"}), Ok());
    const std::string image = usb + "/WithVideo";
    const std::string file = image + "/2010_05_23=10,00~10,01/Video/2010-05-23_1000-1001_cam02.mp4";
    ASSERT_TRUE(fs::exists(file));
    EXPECT_EQ(Names(image + "/2010_05_23=10,00~10,01/Video").size(), 1u);  // camera 2 only
    EXPECT_THAT(ReadText(image + "/SHA256SUMS"),
                HasSubstr("2010_05_23=10,00~10,01/Video/2010-05-23_1000-1001_cam02.mp4"));
    EXPECT_EQ(Sha256sumCheck(image), 0);
    const std::string boxes =
        "video 2010_05_23=10,00~10,01/Video/2010-05-23_1000-1001_cam02.mp4: export boxes whole, "
        "not signed";
    EXPECT_THAT(Cli({"verify", "E:\\WithVideo"}), Out(0, boxes));
    EXPECT_TRUE(TempFilesBelow(image).empty());
    EXPECT_EQ(Frames(file), 2 * 60 * 3);  // two minutes at 3 a second
    // quillon-cli installed without quillon-cli-video (no encoder on the machine) still checks
    // the files' boxes, and says where the MP4 files' maker is instead of making none silently.
    const std::string alone = prefix() + "/bin-alone/quillon-cli";
    fs::create_directories(fs::path(alone).parent_path());
    fs::copy_file(CliPath(), alone);
    EXPECT_THAT(RunProgram(alone, WithBase({"verify", "E:\\WithVideo"}), prefix()), Out(0, boxes));
    for (const std::vector<std::string>& command :
         {std::vector<std::string>{"backup", "--folder", "E:\\Alone", "--mp4"},
          std::vector<std::string>{"export", "E:\\WithVideo", "--mp4", "--out", "E:\\Mp4"}}) {
        EXPECT_THAT(RunProgram(alone, WithBase(command), prefix()),
                    Err(1,
                        "quillon-cli-video, which is not installed here (it is in the package "
                        "quillon-video)"))
            << command[0];
    }
    EXPECT_FALSE(fs::exists(usb + "/Alone"));
    EXPECT_FALSE(fs::exists(usb + "/Mp4"));
}

TEST_F(CliExportTest, AnImageThatFailsItsCheckIsRefusedOrExportedSayingWhatIsMissing) {
    // The index of 10:02 overwritten after the backup: the image no longer matches its manifest.
    WriteText(entry + "20100523/201005231002N.idx", "not an index any more");
    RunResult r = Export();
    EXPECT_THAT(r, Err(1, "fails its check"));
    EXPECT_FALSE(fs::exists(out + "/2010-05-23_1000-1003"));
    const std::string custody = usb + "/Backup/CUSTODY.jsonl";
    EXPECT_THAT(ReadText(custody), Not(HasSubstr("exported")));

    r = Export({"--force", "--cams", "1"});
    EXPECT_EQ(r.status, 1) << r.out;
    ASSERT_TRUE(fs::exists(FileOf(1))) << r.out << r.err;
    EXPECT_FALSE(fs::exists(FileOf(2)));
    EXPECT_THAT(r.out, HasSubstr("missing 20100523 10:02"));
    EXPECT_THAT(Probe("format_tags=title", FileOf(1)), HasSubstr("failed its check"));
    // The three minutes that can be read, every picture of them.
    EXPECT_EQ(Frames(FileOf(1)), Rows(1));
    // A file made from an image that failed its check is in its chain of custody all the same.
    EXPECT_THAT(ReadText(custody), HasSubstr("\"event\":\"exported\""));
    EXPECT_THAT(ReadText(custody), HasSubstr("not each of them whole or from a checked image"));
}

// A written disc is exported as its folder image is, read through its file system, and its MP4
// files are checked where they are; nothing of the disc's copy stays in the output folder.
TEST_F(CliExportTest, AWrittenDiscExportsAndVerifiesLikeItsFolderImage) {
    if (Shell("command -v xorriso >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "xorriso is not installed";
    MapPseudoDrive(prefix(), 'D', prefix() + "/dvd.iso", "dvd+rw");
    ASSERT_EQ(Add("1000", "1003", "1,2", {"--memo", "delivery at the gate"}).status, 0);
    ASSERT_THAT(Cli({"backup", "--disc", "D", "--mp4", "--no-progress"}), Ok());
    EXPECT_THAT(Cli({"verify", "--disc", "D", "--no-progress"}),
                Out(0,
                    "video 2010_05_23=10,00~10,03/Video/2010-05-23_1000-1003_cam02.mp4: "
                    "export boxes whole, not signed"));

    ASSERT_EQ(Export().status, 0);
    const std::string fromFolder = out;
    out = prefix() + "/from-disc";
    ASSERT_THAT(Cli({"export", "--disc", "D", "--mp4", "--out", out, "--cams", "1,2"}),
                Out(0, "camera 2: 720 pictures"));
    for (int camera : {1, 2}) {
        const std::string name = FileOf(camera).substr(out.size());
        const auto frames = [&](const std::string& root) {
            return CommandOutput("ffmpeg -v error -i " + Quote(root + name) +
                                 " -map 0:v -map 0:a? -f framemd5 -");
        };
        EXPECT_GT(frames(out).size(), 1000u);
        EXPECT_EQ(frames(out), frames(fromFolder)) << name;
    }
    EXPECT_EQ(Names(out), (std::set<std::string>{"2010-05-23_1000-1003"}));
    EXPECT_TRUE(TempFilesBelow(out).empty());
    EXPECT_THAT(Cli({"export", "--disc", "E", "--mp4", "--out", out}),  // E is no disc drive
                Err(1, "quillon-cli: "));
}

// A target that fills up stops the files being written: none is left under a final name, and
// the operator is told which camera's file is missing and why.
TEST_F(CliExportTest, AFullTargetLeavesNoFileUnderAFinalName) {
    const std::string small = prefix() + "/small";
    fs::create_directories(small);
    if (::mount("tmpfs", small.c_str(), "tmpfs", 0, "size=96k") != 0)
        GTEST_SKIP() << "no tmpfs can be mounted here";
    out = small;
    const RunResult r = Export();
    EXPECT_THAT(r, Out(1, "camera 1: no file: "));
    EXPECT_TRUE(FilesBelow(small).empty());
    EXPECT_THAT(r.out, HasSubstr("No space left on device"));
    ::umount2(small.c_str(), MNT_DETACH);
}

// The recorder's clock reads the local time of the recorder's zone: whatever this machine's
// zone, the text is that reading and the zone is named, the video is the same, and the UTC
// fields are the reading taken back from the recorder's zone.
TEST_F(CliExportTest, RecordedTimesAreTheRecordersClockWhateverTheZoneOfTheExportingMachine) {
    std::string digest;
    std::vector<std::string> cues;
    for (const char* zone : {"UTC", "America/Chicago", "Asia/Tokyo"}) {
        SCOPED_TRACE(zone);
        ScopedEnv tz("TZ", zone);
        ASSERT_THAT(Cli({"export", "E:\\Backup", "--mp4", "--out", out + "/" + zone, "--cams", "1",
                         "--time-zone", "America/Chicago", "--no-progress"}),
                    Out(0, "recorder's clock in America/Chicago (UTC-05:00)"));
        const std::string file =
            out + "/" + zone + "/2010-05-23_1000-1003/" + "2010-05-23_1000-1003_cam01.mp4";
        if (digest.empty()) {
            digest = VideoDigest(file);
            cues = Cues(file);
            ASSERT_FALSE(cues.empty());
            EXPECT_EQ(cues.front(), "2010-05-23 10:00:00");
            EXPECT_EQ(cues.back(), "2010-05-23 10:03:59");
        } else {
            EXPECT_EQ(VideoDigest(file), digest);
            EXPECT_EQ(Cues(file), cues);
        }
        // Ten o'clock in Chicago, daylight time, is three in the afternoon in UTC.
        EXPECT_EQ(Probe("format_tags=creation_time", file).rfind("2010-05-23T15:00:00", 0), 0u);
        EXPECT_THAT(Probe("format_tags=comment", file), HasSubstr("America/Chicago"));
        EXPECT_THAT(Probe("stream_tags=handler_name", file),
                    HasSubstr("Recorded time, America/Chicago"));
    }
    // Without --time-zone the recorder is taken to be in this machine's zone.
    ScopedEnv tz("TZ", "Asia/Tokyo");
    ASSERT_THAT(Cli({"export", "E:\\Backup", "--mp4", "--out", out + "/own", "--cams", "1",
                     "--no-progress"}),
                Ok());
    const std::string file = out + "/own/2010-05-23_1000-1003/2010-05-23_1000-1003_cam01.mp4";
    EXPECT_EQ(Cues(file), cues);
    EXPECT_EQ(Probe("format_tags=creation_time", file).rfind("2010-05-23T01:00:00", 0), 0u);
    // A zone the database does not hold is refused before anything is made.
    EXPECT_THAT(Cli({"export", "E:\\Backup", "--mp4", "--out", out + "/bad", "--time-zone",
                     "Mars/Olympus", "--no-progress"}),
                Err(2, "no time zone Mars/Olympus"));
    EXPECT_FALSE(fs::exists(out + "/bad"));
}

// In the night the clocks of London go back, 01:00 to 01:59 comes twice: once in summer time,
// then in winter time. The export shows both hours apart, in the order they were recorded, each
// named, on a timeline of true time.
TEST_F(CliExportImageTest, TheHourAClockChangeRepeatsIsExportedTwiceEachReadingNamed) {
    mkrec::RecorderPlan plan = Plan("20261025", 59, 61);
    plan.repeatedMinutes = {60, 61};
    Record(plan);
    ScopedEnv tz("TZ", "Europe/London");
    options = {"--cameras", "1"};
    ASSERT_EQ(Cli({"add", "20261025", "0059", "0101", "--cams", "1"}).status, 0);
    ASSERT_THAT(Backup("E:\\Night"), Ok());
    ASSERT_THAT(Cli({"export", "E:\\Night", "--mp4", "--out", out, "--no-progress"}), Ok());
    const std::string file = out + "/2026-10-25_0059-0101/2026-10-25_0059-0101_cam01.mp4";
    std::vector<std::string> times;
    const std::vector<std::string> cues = Cues(file, &times);
    ASSERT_EQ(cues.size(), 5u * 60);
    EXPECT_EQ(cues[0], "2026-10-25 00:59:00");
    EXPECT_EQ(cues[60], "2026-10-25 01:00:00 BST");
    EXPECT_EQ(cues[179], "2026-10-25 01:01:59 BST");
    EXPECT_EQ(cues[180], "2026-10-25 01:00:00 GMT");
    EXPECT_EQ(cues[299], "2026-10-25 01:01:59 GMT");
    // 01:00 GMT came an hour after 01:00 BST, 61 minutes after the start at 00:59 BST.
    EXPECT_EQ(times[180], "01:01:00,000");
    EXPECT_TRUE(std::is_sorted(times.begin(), times.end()));
    EXPECT_EQ(Probe("format_tags=creation_time", file).rfind("2026-10-24T23:59:00", 0), 0u);
    EXPECT_EQ(Frames(file), 300);
}

// An image whose backup did not complete vouches for the entries it made whole: those export
// as from any image; the one it lacks minutes of goes only with --force, its files saying what
// it lacks.
TEST_F(CliExportImageTest, APartialImageExportsItsWholeEntriesAndNamesWhatTheOthersLack) {
    mkrec::RecorderPlan plan = Plan("20100523", 600, 603);
    plan.damagedMinutes = {{603, mkrec::Damage::kNotADatabase}};
    Record(plan);
    options = {"--cameras", "1"};
    ASSERT_EQ(Add("1000", "1001", "1").status, 0);
    ASSERT_EQ(Add("1002", "1003", "1").status, 0);
    ASSERT_THAT(Backup("E:\\Part"), Not(Ok()));
    ASSERT_NE(Cli({"verify", "E:\\Part"}).out.find("INCOMPLETE"), std::string::npos);

    EXPECT_THAT(Cli({"export", "E:\\Part", "--mp4", "--out", out, "--entry",
                     "2010_05_23=10,00~10,01", "--no-progress"}),
                Ok());
    const std::string whole = out + "/2010-05-23_1000-1001/2010-05-23_1000-1001_cam01.mp4";
    EXPECT_EQ(Probe("format_tags=title", whole), "2010-05-23 - 10:00 ~ 10:01\n");

    EXPECT_THAT(Cli({"export", "E:\\Part", "--mp4", "--out", out, "--no-progress"}),
                Out(1, "2010-05-23 - 10:02 ~ 10:03: not exported, incomplete: "));
    EXPECT_FALSE(fs::exists(out + "/2010-05-23_1002-1003"));

    EXPECT_THAT(Cli({"export", "E:\\Part", "--mp4", "--out", out, "--force", "--no-progress"}),
                Ends(1));
    const std::string title =
        Probe("format_tags=title", out + "/2010-05-23_1002-1003/2010-05-23_1002-1003_cam01.mp4");
    EXPECT_EQ(title.rfind("2010-05-23 - 10:02 ~ 10:03 (incomplete: ", 0), 0u) << title;
    EXPECT_THAT(title, Not(HasSubstr("failed its check")));
}
