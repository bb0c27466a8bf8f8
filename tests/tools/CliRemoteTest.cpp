// quillon-cli against quillon-share, both real processes on loopback: the days and a day's
// index as the local recorder shows them, a two-entry schedule backed up remotely equal byte for
// byte to the local backup of the same schedule, and a killed client's second run; the token
// from a private file or the environment, and a refusal that names the port the operator gave.
// (Cancelling, links in the target, the server's token rules, bytes changed on the way and the
// refusals of a TLS link are the backup and share tests'; a run over TLS is the pull's; a device
// that fails at the flush is backup/ImageFlushTest's.)
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <regex>

#include "CliDay.h"
#include "RemoteFixture.h"
#include "ScopedEnv.h"
#ifdef QUILLON_HAVE_VIDEO
#include "mp4/ExportVerifier.h"
#endif

using CliRemoteTest = RemoteCliFixture;

namespace {

// A number of report.json by its key, wherever it is (the clock's are named once).
double ReportNumber(const std::string& report, const std::string& key) {
    const std::size_t at = report.find("\"" + key + "\": ");
    EXPECT_NE(at, std::string::npos) << key;
    return at == std::string::npos ? 0.0 : std::stod(report.substr(at + key.size() + 4));
}

}  // namespace

TEST_F(CliRemoteTest, ARemoteScheduleIsTheLocalScheduleAndItsBackupTheSameBytes) {
    mkrec::RecorderPlan plan = SmallDayPlan(605);
    plan.days = {"20100522", "20100523"};
    Record(plan);
    StartServer();

    EXPECT_EQ(Remote({"days"}).out, Cli({"days"}).out);
    const RunResult localDay = Cli({"day", "20100523"});
    ASSERT_EQ(localDay.status, 0);
    EXPECT_EQ(Remote({"day", "20100523"}).out, localDay.out);

    const std::vector<std::vector<std::string>> entries{
        {"add", "20100523", "1000", "1003", "--cams", "all", "--memo", "gate"},
        {"add", "20100523", "1002", "1005", "--cams", "2,4"}};
    std::vector<std::string> added;
    for (const auto& e : entries) {
        const RunResult r = Cli(e);
        ASSERT_EQ(r.status, 0) << r.err;
        added.push_back(r.out);
    }
    ASSERT_EQ(Cli({"backup", "--folder", "E:\\Local", "--no-progress"}).status, 0);
    for (std::size_t i = 0; i < entries.size(); ++i)  // the same size, cameras and total
        ASSERT_THAT(Remote(entries[i]), AllOf(Ok(), Printed(added[i])));
    ASSERT_THAT(Remote({"backup", "--folder", "E:\\Remote", "--no-progress"}), Ok());

    const auto local = ImageBelow(usb + "/Local"), fetched = ImageBelow(usb + "/Remote");
    EXPECT_GT(local.size(), 20u);
    EXPECT_EQ(fetched, local);
    EXPECT_EQ(ServerTemp(), std::vector<std::string>{});
    EXPECT_THAT(Cli({"list"}).out, Not(HasSubstr("~")));  // the schedule is done
    for (const auto& e : fs::recursive_directory_iterator(driveC() + "/QorData"))
        EXPECT_EQ(IsTempName(e.path().filename().string()), false);
}

// The MP4 files of a run over the link are made from the fetched minutes as a local run makes
// them from the recorder's: the same files, the same pictures, and hashed into the manifest. The
// recorder's clock is read in the zone the recorder names, not in this machine's.
TEST_F(CliRemoteTest, ARemoteBackupWithMp4FilesHasTheLocalBackupsPictures) {
#ifndef QUILLON_HAVE_VIDEO
    GTEST_SKIP() << "built without the video export";
#endif
    if (Shell("command -v ffmpeg >/dev/null") != 0)
        GTEST_SKIP() << "ffmpeg is missing";
    UseBuiltData();  // the video's fonts
    // Three cameras of small pictures at two a second with sound: enough for an MP4 file of each.
    mkrec::RecorderPlan plan = Plan(600, 602, 3, 64, 48);
    plan.fps = 2;
    plan.audioChannels = 1;
    Record(plan);
    {
        ScopedEnv recorderZone("TZ", "America/Chicago");
        StartServer();
    }
    options = {"--cameras", "3"};
    const std::vector<std::string> entry{"add", "20100523", "1000", "1001", "--cams", "1,3"};
    ASSERT_THAT(Cli(entry), Ok());
    ASSERT_THAT(Backup("E:\\Local", {"--mp4"}), Ok());
    ASSERT_THAT(Remote(entry), Ok());
    ASSERT_THAT(Remote({"backup", "--folder", "E:\\Remote", "--mp4", "--no-progress"}),
                Out(0, "recorder's clock in America/Chicago, as it says"));

    const std::string video = "/2010_05_23=10,00~10,01/Video/";
    const std::set<std::string> names = Names(usb + "/Remote" + video);
    EXPECT_EQ(names, (std::set<std::string>{"2010-05-23_1000-1001_cam01.mp4",
                                            "2010-05-23_1000-1001_cam03.mp4"}));
    for (const std::string& name : names) {
        // Every decoded picture and audio block alike; only the export's own time differs.
        const auto frames = [&](const std::string& image) {
            return CommandOutput("ffmpeg -v error -i '" + usb + "/" + image + video + name +
                                 "' -map 0:v -map 0:a? -f framemd5 -");
        };
        const std::string local = frames("Local");
        EXPECT_GT(local.size(), 1000u);
        EXPECT_EQ(frames("Remote"), local) << name;
        // Ten in the morning in Chicago's daylight time; in this machine's zone (UTC), ten.
        const auto created = [&](const std::string& image) {
            return CommandOutput(
                "ffprobe -v error -show_entries format_tags=creation_time -of csv=p=0 '" + usb +
                "/" + image + video + name + "'");
        };
        EXPECT_EQ(created("Remote").rfind("2010-05-23T15:00:00", 0), 0u) << created("Remote");
        EXPECT_EQ(created("Local").rfind("2010-05-23T10:00:00", 0), 0u) << created("Local");
    }
    EXPECT_THAT(ReadText(usb + "/Remote/SHA256SUMS"), HasSubstr(video.substr(1) + *names.begin()));
    EXPECT_EQ(Sha256sumCheck(usb + "/Remote"), 0);
    EXPECT_THAT(Cli({"verify", "E:\\Remote"}), Ok());
    EXPECT_EQ(ServerTemp(), std::vector<std::string>{});
}

// A client killed while the server built its entry (power lost, SIGKILL) cannot tell the server:
// run again, it takes its own image over at once instead of waiting for the server to give up
// on it, while another base folder's client is still told the entry is taken.
TEST_F(CliRemoteTest, AKilledRemoteBackupRunsAgainAtOnceAndAnotherClientStillWaits) {
    RecordLargeDay();
    StartServer();
    ASSERT_EQ(Remote({"add", "20100523", "1000", "1011", "--cams", "all"}).status, 0);
    const RunningProgram run = StartCli({"--remote", "127.0.0.1:" + std::to_string(port), "backup",
                                         "--folder", "E:\\Remote", "--no-progress"},
                                        "cli");
    ASSERT_TRUE(WaitWhileRunning(run.pid, [&] { return !ServerTemp().empty(); }));
    ::kill(run.pid, SIGKILL);
    FinishProgram(run);
    const std::string other = prefix() + "/other-base";
    fs::create_directories(other);
    ASSERT_EQ(Remote({"--base", other, "add", "20100523", "1000", "1011", "--cams", "all"}).status,
              0);
    EXPECT_THAT(Remote({"--base", other, "backup", "--folder", "E:\\Other", "--no-progress"}),
                Err(1, "another client is fetching 2010_05_23=10,00~10,11"));

    ASSERT_THAT(Remote({"backup", "--folder", "E:\\Remote", "--no-progress"}), Ok());
    EXPECT_EQ(Sha256sumCheck(usb + "/Remote"), 0);
    EXPECT_EQ(ServerTemp(), std::vector<std::string>{});
}

// The token from a private file or the environment; a refusal names the port the operator
// gave, and a request that failed is never followed by a line that nothing is there.
TEST_F(CliRemoteTest, TheTokenComesFromAFileOrTheEnvironmentAndAFailedRequestIsNoEmptyDay) {
    Record(Plan(600, 600, 4, 16, 16));
    const std::string token = "tk-cli-remote-0123";
    StartServer(token);
    const std::string where = "127.0.0.1:" + std::to_string(port);
    for (const auto& args :
         {std::vector<std::string>{"days"}, std::vector<std::string>{"day", "20100523"},
          std::vector<std::string>{"add", "20100523", "1000", "1000", "--cams", "all"}}) {
        const RunResult r = Remote(args, "tk-wrong");
        EXPECT_THAT(r, Err(1, "token"));
        EXPECT_THAT(r.err, Not(HasSubstr("no recordings")));
        if (args[0] == "days") {
            EXPECT_THAT(r.err,
                        HasSubstr("the recorder at " + where + " does not accept our token"));
            EXPECT_THAT(r.err, Not(HasSubstr(":" + std::to_string(port - 2))));
        }
    }
    // A day without recordings is still said to be one.
    EXPECT_THAT(Remote({"day", "20100524"}, token),
                Err(1, "no recordings of 20100524 on the recorder at " + where));

    const std::string file = Secret("cli.token", token + "\n", 0600);
    const std::vector<std::string> withFile{"--remote", where, "--token-file", file, "days"};
    RunResult r = Cli(withFile);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "20100523\n");
    ::chmod(file.c_str(), 0644);
    ScopedEnv variable("QUILLON_SHARE_TOKEN", token);
    EXPECT_THAT(Cli({"--remote", where, "days"}), Ok());
    // A file given wins over the variable, and refused it is no reason to fall back on it.
    r = Cli(withFile);
    EXPECT_THAT(r, Err(1, "quillon-cli: the token file " + file + " may be read"));
    EXPECT_EQ(r.out, "");
}

// The report of a remote backup states the recorder's clock as the link measured it: one that
// runs 90 s ahead (faketime) is 90 s ahead within the uncertainty the report gives.
TEST_F(CliRemoteTest, TheReportGivesTheOffsetOfARecorderClockThatRunsAheadWithinItsUncertainty) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "faketime's preload and a sanitizer's runtime cannot both come first";
#endif
    if (Shell("command -v faketime >/dev/null") != 0)
        GTEST_SKIP() << "faketime is missing";
    Record(Plan(600, 600, 2, 16, 16));
    serverUnder = {"/usr/bin/faketime", "-f", "+90s"};
    StartServer();
    options = {"--cameras", "2"};
    ASSERT_THAT(Remote({"add", "20100523", "1000", "1000", "--cams", "all"}), Ok());
    ASSERT_THAT(Remote({"backup", "--folder", "E:\\Ahead", "--no-progress"}), Ok());
    const std::string report = ReadText(usb + "/Ahead/report.json");
    auto number = [&](const std::string& key) { return ReportNumber(report, key); };
    EXPECT_THAT(report, HasSubstr("\"method\": \"link\""));
    const double offset = number("offset_seconds"), within = number("uncertainty_seconds");
    EXPECT_GT(within, 0.0);
    EXPECT_LT(within, 1.0);
    EXPECT_LE(std::abs(offset - 90.0), within + 1e-6) << report;
}

// The MP4 files of such a backup state the report's measurement, not one of their own: their
// signed start is the recorded one less the report's offset (so about 90 s earlier, within the
// uncertainty), and their comment names the recorder's zone and gives the same figures.
TEST_F(CliRemoteTest, TheMp4FilesOfARecorderAheadStartAtTheTrueTimeTheReportsOffsetGives) {
#ifndef QUILLON_HAVE_VIDEO
    GTEST_SKIP() << "built without the video export";
#else
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "faketime's preload and a sanitizer's runtime cannot both come first";
#endif
    if (Shell("command -v faketime >/dev/null && command -v ffprobe >/dev/null") != 0)
        GTEST_SKIP() << "faketime or ffprobe is missing";
    UseBuiltData();  // the video's fonts
    mkrec::RecorderPlan plan = Plan(600, 600, 2, 64, 48);
    plan.fps = 2;
    Record(plan);
    serverUnder = {"/usr/bin/faketime", "-f", "+90s"};
    {
        ScopedEnv recorderZone("TZ", "America/Chicago");
        StartServer();
    }
    ASSERT_THAT(Cli({"key", "create"}), Ok());  // signed files carry the corrected start
    options = {"--cameras", "2"};
    ASSERT_THAT(Remote({"add", "20100523", "1000", "1000", "--cams", "all"}), Ok());
    ASSERT_THAT(Remote({"backup", "--folder", "E:\\Ahead", "--mp4", "--no-progress"}), Ok());
    const std::string report = ReadText(usb + "/Ahead/report.json");
    auto number = [&](const std::string& key) { return ReportNumber(report, key); };
    ASSERT_THAT(report, HasSubstr("\"method\": \"link\""));
    const double offset = number("offset_seconds"), within = number("uncertainty_seconds");

    const std::string video = usb + "/Ahead/2010_05_23=10,00~10,00/Video/";
    const std::set<std::string> names = Names(video);
    ASSERT_EQ(names.size(), 2u);
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        const mp4::ExportCheck check = mp4::CheckExportFile(video + name, {"", true});
        ASSERT_TRUE(check.ok()) << check.problem;
        ASSERT_FALSE(check.starts.empty());
        const double corrected = static_cast<double>(static_cast<std::int64_t>(
                                     check.segment.startFileTime - check.starts[0].startFileTime)) /
                                 1e7;
        // The report gives the offset to the microsecond, the file to a tenth of one.
        EXPECT_NEAR(corrected, offset, 1e-6);
        EXPECT_LE(std::abs(corrected - 90.0), within + 1e-6);
        // The recorded start is the recorder's reading: ten in Chicago's daylight time.
        EXPECT_EQ(check.segment.startFileTime, mp4::FileTimeFromUnix(1274626800, 0));

        const std::string comment =
            CommandOutput("ffprobe -v error -show_entries format_tags=comment -of csv=p=0 '" +
                          video + name + "'");
        EXPECT_THAT(comment, HasSubstr("America/Chicago"));
        std::smatch said;
        ASSERT_TRUE(std::regex_search(
            comment, said,
            std::regex("recorder clock offset ([-+][0-9.]+) s \u00b1 ([0-9.]+) s, measured over "
                       "the link")))
            << comment;
        EXPECT_NEAR(std::stod(said[1]), offset, 0.0005);
        EXPECT_GE(std::stod(said[2]), within);
        EXPECT_LE(std::stod(said[2]), within + 0.001);
    }
#endif
}
