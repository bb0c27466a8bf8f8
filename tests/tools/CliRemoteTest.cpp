// quillon-cli against quillon-share, both real processes on loopback: the days and a day's
// index as the local recorder shows them, a two-entry schedule backed up remotely equal byte for
// byte to the local backup of the same schedule, and Ctrl-C mid-transfer leaving no temporary
// data on the server; the token from a private file or the environment, and a refusal that names
// the port the operator gave; over TLS, the same image with the server's pin, and clear refusals
// of a wrong certificate or a scheme the server does not speak; two recorders pulled at once.
// (The server's token rules are the share tests'.)
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>

#include "CliFixture.h"
#include "CorruptingProxy.h"
#include "FailingDisk.h"
#include "PseudoDrives.h"
#include "ScopedEnv.h"
#include "TlsFiles.h"
#include "platform/DrivePaths.h"
#include "platform/NamedLock.h"
#include "records/ScheduleEntry.h"

namespace fs = std::filesystem;

namespace {

bool PortFree(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool free = ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(fd);
    return free;
}

// A port whose picture port (two below) is free too.
int FreePortPair() {
    std::mt19937 random(std::random_device{}());
    for (;;) {
        const int port = 20000 + static_cast<int>(random() % 40000);
        if (PortFree(port) && PortFree(port - 2))
            return port;
    }
}

// The processes waiting for the flock on path, as the kernel lists them.
int LockWaiters(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return 0;
    std::ifstream locks("/proc/locks");
    const std::string inode = ":" + std::to_string(st.st_ino) + " ";
    int waiting = 0;
    for (std::string line; std::getline(locks, line);)
        waiting += line.find(" -> ") != std::string::npos && line.find(inode) != std::string::npos;
    return waiting;
}

}  // namespace

class CliRemoteTest : public CliFixture {
  protected:
    void SetUp() override {
        CliFixture::SetUp();
        usb = MapDrive('E', "removable");
        port = FreePortPair();
    }
    void TearDown() override {
        StopServer();
        CliFixture::TearDown();
    }
    // tls: --tls-cert and --tls-key, or none for plain HTTP.
    void StartServer(const std::string& token = "", const std::vector<std::string>& tls = {}) {
        std::vector<std::string> args{"--root", "C:\\QorData", "--listen",
                                      "127.0.0.1:" + std::to_string(port)};
        if (!token.empty())
            args.insert(args.end(), {"--token", token});
        args.insert(args.end(), tls.begin(), tls.end());
        server = StartProgram(std::string(QUILLON_BIN_DIR) + "/quillon-share", args, prefix(), 0,
                              "share");
        // Up once it answers; a day list of an unreachable server is an error.
        for (int i = 0; i < 200 && Remote({"days"}, token).status != 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    void StopServer() {
        if (server.pid <= 0)
            return;
        ::kill(server.pid, SIGTERM);
        serverEnd = FinishProgram(server);
        server.pid = -1;
    }
    RunResult Remote(std::vector<std::string> args, const std::string& token = "") {
        if (!token.empty())
            args.insert(args.begin(), {"--token", token});
        args.insert(args.begin(), trust.begin(), trust.end());
        args.insert(args.begin(), {"--remote", scheme + "127.0.0.1:" + std::to_string(port)});
        return Cli(args);
    }
    // Entry folders below the server's temporary root (its own working folder aside).
    std::vector<std::string> ServerTemp() {
        std::vector<std::string> left;
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(driveC() + "/NetBackupTemp", ec))
            if (e.path().filename() != "Reserved" || !fs::is_empty(e.path()))
                left.push_back(e.path().filename().string());
        return left;
    }

    std::string usb;
    int port = 0;
    RunningProgram server;
    RunResult serverEnd;
    std::string scheme;              // "https://" for TLS
    std::vector<std::string> trust;  // --pin or --ca, with TLS
};

TEST_F(CliRemoteTest, ARemoteScheduleIsTheLocalScheduleAndItsBackupTheSameBytes) {
    mkrec::RecorderPlan plan;
    plan.days = {"20100522", "20100523"};
    plan.firstMinute = 600;
    plan.lastMinute = 605;
    plan.width = 32;
    plan.height = 24;
    plan.audioChannels = 2;
    plan.audioBytesPerMinute = 3000;
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
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const RunResult r = Remote(entries[i]);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, added[i]);  // the same size, cameras and total
    }
    const RunResult remote = Remote({"backup", "--folder", "E:\\Remote", "--no-progress"});
    ASSERT_EQ(remote.status, 0) << remote.err;

    const auto local = FilesBelow(usb + "/Local"), fetched = FilesBelow(usb + "/Remote");
    EXPECT_GT(local.size(), 20u);
    EXPECT_EQ(fetched, local);
    EXPECT_EQ(ServerTemp(), std::vector<std::string>{});
    EXPECT_EQ(Cli({"list"}).out.find('~'), std::string::npos);  // the schedule is done
    for (const auto& e : fs::recursive_directory_iterator(driveC() + "/QorData"))
        EXPECT_EQ(IsTempName(e.path().filename().string()), false);
}

// The MP4 files of a run over the link are made from the fetched minutes as a local run makes
// them from the recorder's: the same files, the same pictures, and hashed into the manifest.
TEST_F(CliRemoteTest, ARemoteBackupWithMp4FilesHasTheLocalBackupsPictures) {
#ifndef QUILLON_HAVE_VIDEO
    GTEST_SKIP() << "built without the video export";
#endif
    if (Shell("command -v ffmpeg >/dev/null") != 0)
        GTEST_SKIP() << "ffmpeg is missing";
    UseBuiltData();
    mkrec::RecorderPlan plan;
    plan.days = {"20100523"};
    plan.firstMinute = 600;
    plan.lastMinute = 602;
    plan.cameras = 3;
    plan.width = 64;
    plan.height = 48;
    plan.fps = 2;
    plan.audioChannels = 1;
    Record(plan);
    StartServer();
    const std::vector<std::string> entry{"--cameras", "3",    "add",    "20100523",
                                         "1000",      "1001", "--cams", "1,3"};
    ASSERT_EQ(Cli(entry).status, 0);
    ASSERT_EQ(
        Cli({"--cameras", "3", "backup", "--folder", "E:\\Local", "--mp4", "--no-progress"}).status,
        0);
    std::vector<std::string> remote{"--remote", "127.0.0.1:" + std::to_string(port)};
    remote.insert(remote.end(), entry.begin(), entry.end());
    ASSERT_EQ(Cli(remote).status, 0);
    remote.resize(2);
    remote.insert(remote.end(),
                  {"--cameras", "3", "backup", "--folder", "E:\\Remote", "--mp4", "--no-progress"});
    const RunResult r = Cli(remote);
    ASSERT_EQ(r.status, 0) << r.out << r.err;

    const std::string video = "/2010_05_23=10,00~10,01/Video/";
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(usb + "/Remote" + video))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"2010-05-23_1000-1001_cam01.mp4",
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
    }
    EXPECT_NE(ReadText(usb + "/Remote/SHA256SUMS").find(video.substr(1) + names[0]),
              std::string::npos);
    EXPECT_EQ(Sha256sumCheck(usb + "/Remote"), 0);
    const RunResult v = Cli({"verify", "E:\\Remote"});
    EXPECT_EQ(v.status, 0) << v.out;
    EXPECT_EQ(ServerTemp(), std::vector<std::string>{});
}

TEST_F(CliRemoteTest, CtrlCDuringARemoteBackupKeepsTheScheduleAndLeavesNothingOnTheServer) {
    RecordLargeDay();
    StartServer();
    ASSERT_EQ(Remote({"add", "20100523", "1000", "1011", "--cams", "all"}).status, 0);
    const RunningProgram run = StartCli({"--remote", "127.0.0.1:" + std::to_string(port), "backup",
                                         "--folder", "E:\\Remote", "--no-progress"},
                                        "cli");
    // Interrupted once the server has begun the entry's image.
    ASSERT_TRUE(WaitWhileRunning(run.pid, [&] { return !ServerTemp().empty(); }));
    ::kill(run.pid, SIGINT);
    const RunResult r = FinishProgram(run);
    EXPECT_EQ(r.status, 130) << r.err;
    EXPECT_NE(r.err.find("cancelled"), std::string::npos) << r.err;
    EXPECT_NE(Cli({"list"}).out.find('~'), std::string::npos);  // kept for another try
    // The server clears what it made once its build has seen the cancel.
    for (int i = 0; i < 400 && !ServerTemp().empty(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    EXPECT_EQ(ServerTemp(), std::vector<std::string>{});
    EXPECT_EQ(TempFilesBelow(usb), std::vector<std::string>{});
}

TEST_F(CliRemoteTest, TheTokenGoesWithEveryRequestAndNothingComesWithoutIt) {
    mkrec::RecorderPlan plan;
    plan.days = {"20100523"};
    plan.firstMinute = plan.lastMinute = 600;
    plan.width = plan.height = 16;
    Record(plan);
    StartServer("s3cret");
    const RunResult without = Remote({"day", "20100523"});
    EXPECT_EQ(without.status, 1);
    EXPECT_EQ(without.out, "");
    EXPECT_EQ(Remote({"days"}).status, 1);
    EXPECT_EQ(Remote({"day", "20100523"}, "s3cret").status, 0);
    EXPECT_EQ(Remote({"days"}, "s3cret").out, "20100523\n");
}

TEST_F(CliRemoteTest, TheTokenComesFromAPrivateFileOrTheEnvironmentAndRefusalsNameThePortGiven) {
    mkrec::RecorderPlan plan;
    plan.days = {"20100523"};
    plan.firstMinute = plan.lastMinute = 600;
    plan.width = plan.height = 16;
    Record(plan);
    const std::string token = "tk-cli-remote-0123";
    StartServer(token);
    const std::string where = "127.0.0.1:" + std::to_string(port);

    // The days come from the pictures' port two below; the operator knows the one given.
    const RunResult wrong = Remote({"days"}, "tk-wrong");
    EXPECT_EQ(wrong.status, 1);
    EXPECT_NE(wrong.err.find("the recorder at " + where + " does not accept our token"),
              std::string::npos)
        << wrong.err;
    EXPECT_EQ(wrong.err.find(":" + std::to_string(port - 2)), std::string::npos) << wrong.err;

    const std::string file = prefix() + "/cli.token";
    WriteText(file, token + "\n");
    ::chmod(file.c_str(), 0600);
    RunResult r = Cli({"--remote", where, "--token-file", file, "days"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "20100523\n");
    ::chmod(file.c_str(), 0644);
    r = Cli({"--remote", where, "--token-file", file, "days"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(
        r.err.find("the token file " + file + " may be read or changed by others (mode 0644)"),
        std::string::npos)
        << r.err;
    EXPECT_EQ(r.err.find(token), std::string::npos) << r.err;
    {
        ScopedEnv variable("QUILLON_SHARE_TOKEN", token);
        r = Cli({"--remote", where, "days"});
        EXPECT_EQ(r.status, 0) << r.err;
        // A file given wins over the variable, and refused it is no reason to fall back on it.
        r = Cli({"--remote", where, "--token-file", file, "days"});
        EXPECT_EQ(r.status, 1);
    }
    r = Cli({"--token-file", file, "days"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("--token and --token-file go with --remote"), std::string::npos) << r.err;
    r = Cli({"--remote", where, "--token", token, "--token-file", file, "days"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("give the token once"), std::string::npos) << r.err;
}

TEST_F(CliRemoteTest, BytesChangedBetweenTheRecorderAndTheClientNeverMakeAVerifiedImage) {
    mkrec::RecorderPlan plan;
    plan.days = {"20100523"};
    plan.firstMinute = 600;
    plan.lastMinute = 601;
    plan.width = 32;
    plan.height = 24;
    Record(plan);
    ASSERT_EQ(Cli({"key", "create"}).status, 0);
    StartServer();
    CorruptingProxy proxy(port);
    const std::string through = "127.0.0.1:" + std::to_string(proxy.port());
    ASSERT_EQ(Cli({"--remote", through, "add", "20100523", "1000", "1001", "--cams", "all"}).status,
              0);
    const RunResult r =
        Cli({"--remote", through, "backup", "--folder", "E:\\Remote", "--no-progress"});
    EXPECT_GT(proxy.zeroed(), 0);
    EXPECT_NE(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.err.find("arrived with other bytes than the recorder wrote"), std::string::npos)
        << r.err;
    // No zeroed file under its name, and nothing the check could take for the recorder's.
    for (const auto& [name, bytes] : FilesBelow(usb + "/Remote")) {
        if (name.size() > 5 && name.compare(name.size() - 5, 5, "N.dat") == 0) {
            EXPECT_NE(bytes.find_first_not_of('\0'), std::string::npos) << name;
        }
    }
    const RunResult verify = Cli({"verify", "E:\\Remote", "--no-progress"});
    EXPECT_EQ(verify.out.find("VERIFIED:"), std::string::npos) << verify.out;
    EXPECT_NE(Cli({"list"}).out.find("2010-05-23 - 10:00 ~ 10:01"), std::string::npos);
}

// A stick whose device fails while the system writes the image out: the backup is not done,
// whether the entries came from this recorder or over the link, and the schedule keeps them.
TEST_F(CliRemoteTest, AnImageThatNeverReachesItsDeviceIsNoCompletedBackupFromEitherSource) {
    RecordLargeDay();
    StartServer();
    ASSERT_EQ(Cli({"add", "20100523", "1000", "1003", "--cams", "all"}).status, 0);
    for (const bool remote : {false, true}) {
        SCOPED_TRACE(remote ? "over the link" : "from this recorder");
        // A stick of its own each time: the first one's volume is broken after its failure.
        const char letter = remote ? 'G' : 'F';
        FailingDisk disk(prefix() + "/back_" + letter, MapDrive(letter, "removable"), 256);
        if (!disk.ready())
            GTEST_SKIP() << "no loop device, ext4 or mount on this machine";
        const std::vector<std::string> args{"backup", "--folder",
                                            std::string(1, letter) + ":\\Image", "--no-progress"};
        const RunResult r = remote ? Remote(args) : Cli(args);
        EXPECT_NE(r.status, 0) << r.out << r.err;
        EXPECT_NE((r.out + r.err).find("could not be written"), std::string::npos)
            << r.out << r.err;
        EXPECT_NE(Cli({"list"}).out.find('~'), std::string::npos);  // kept for another try
    }
}

// Two recorders, each served by its own quillon-share, pulled by two instances started at once
// from their pull.d files: each image verifies and holds its recorder's minutes, the first
// recorder's equal to a local backup of the same range. A run against a recorder that is down
// fails and leaves its range for the next run, which fetches it.
TEST_F(CliRemoteTest, TwoRecordersArePulledAtOnceAndAFailedRunIsFetchedByTheNext) {
    mkrec::RecorderPlan plan;
    plan.days = {"20100523"};
    plan.firstMinute = 600;
    plan.lastMinute = 604;
    plan.width = 32;
    plan.height = 24;
    plan.audioChannels = 1;
    plan.audioBytesPerMinute = 3000;
    Record(plan);
    plan.root = "C:\\QorData2";
    plan.seed = 7;
    plan.cameras = 2;
    mkrec::MakeRecordings(plan);
    // The first recorder is reached over TLS, by its certificate's pin.
    const TlsFiles tls = MakeTlsFiles(prefix());
    ASSERT_TRUE(tls.ok);
    scheme = "https://";
    trust = {"--pin", OpensslPin(tls.selfCert)};
    StartServer("first-token", {"--tls-cert", tls.selfCert, "--tls-key", tls.selfKey});
    int port2 = FreePortPair();
    while (port2 == port || port2 == port - 2 || port2 - 2 == port)
        port2 = FreePortPair();

    const std::string pulls = prefix() + "/pull.d", images = prefix() + "/images";
    fs::create_directories(pulls);
    for (const auto& [name, token] : {std::pair{"first", "first-token"}, {"second", "other"}}) {
        fs::create_directories(images + "/" + name);
        std::ofstream(prefix() + "/" + name + ".token") << token << "\n";
        fs::permissions(prefix() + "/" + name + ".token", fs::perms::owner_read);
    }
    std::ofstream(pulls + "/first.conf")
        << "# the gate recorder\nremote = https://127.0.0.1:" << port
        << "\npin = " << OpensslPin(tls.selfCert) << "\ntoken-file = " << prefix()
        << "/first.token\nrange = 20100523 1000 1003\ntarget = " << images << "/first\n";
    std::ofstream(pulls + "/second.conf")
        << "remote = 127.0.0.1:" << port2 << "\ntoken-file = " << prefix()
        << "/second.token\ncameras = 1,2\ncamera-count = 2\nrange = 20100523 1001 1004\n"
        << "target = " << images << "/second\n";
    ::setenv("QUILLON_PULL_DIR", pulls.c_str(), 1);

    // The second recorder is not up yet.
    const RunResult down = Cli({"pull", "second"});
    EXPECT_EQ(down.status, 1) << down.out << down.err;
    EXPECT_NE(down.out.find("pull second: failed: "), std::string::npos) << down.out;

    const RunningProgram second =
        StartProgram(std::string(QUILLON_BIN_DIR) + "/quillon-share",
                     {"--root", "C:\\QorData2", "--listen", "127.0.0.1:" + std::to_string(port2),
                      "--token", "other"},
                     prefix(), 0, "share2");
    for (int i = 0; i < 200; ++i) {
        const RunResult days =
            Cli({"--remote", "127.0.0.1:" + std::to_string(port2), "--token", "other", "days"});
        if (days.status == 0)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    const RunningProgram a = StartCli({"pull", "first"}, "pull1");
    const RunningProgram b = StartCli({"pull", "second"}, "pull2");
    const RunResult first = FinishProgram(a), other = FinishProgram(b);
    ::kill(second.pid, SIGTERM);
    FinishProgram(second);
    ::unsetenv("QUILLON_PULL_DIR");
    ASSERT_EQ(first.status, 0) << first.out << first.err;
    ASSERT_EQ(other.status, 0) << other.out << other.err;
    EXPECT_NE(first.out.find("pull first: 1 entries (0 ranges from earlier runs) into "),
              std::string::npos)
        << first.out;
    // The range of the failed run was fetched, once.
    EXPECT_NE(other.out.find("pull second: 1 entries (1 ranges from earlier runs) into "),
              std::string::npos)
        << other.out;

    const auto imageOf = [&](const std::string& name) {
        std::vector<fs::path> runs;
        for (const auto& e : fs::directory_iterator(images + "/" + name))
            runs.push_back(e.path());
        EXPECT_EQ(runs.size(), 1u) << name;
        return runs.empty() ? std::string() : runs[0].string();
    };
    const std::string firstImage = imageOf("first"), secondImage = imageOf("second");
    EXPECT_EQ(Sha256sumCheck(firstImage), 0);
    EXPECT_EQ(Sha256sumCheck(secondImage), 0);
    ASSERT_EQ(Cli({"add", "20100523", "1000", "1003", "--cams", "all"}).status, 0);
    ASSERT_EQ(Cli({"backup", "--folder", "E:\\Local", "--no-progress"}).status, 0);
    EXPECT_EQ(FilesBelow(firstImage), FilesBelow(usb + "/Local"));
    EXPECT_EQ(ExpectWholeCopiesOfRecorder(secondImage + "/2010_05_23=10,01~10,04/20100523/",
                                          driveC() + "/QorData2/20100523/"),
              3 * 4);  // the data, index and audio files of four minutes
    EXPECT_EQ(ServerTemp(), std::vector<std::string>{});
}

TEST_F(CliRemoteTest, ARemoteBackupOverTlsWithThePinIsTheImageOfOneOverHttp) {
    const TlsFiles tls = MakeTlsFiles(prefix());
    ASSERT_TRUE(tls.ok) << ReadText(prefix() + "/openssl.log");
    mkrec::RecorderPlan plan;
    plan.days = {"20100523"};
    plan.firstMinute = 600;
    plan.lastMinute = 603;
    plan.width = 32;
    plan.height = 24;
    plan.audioChannels = 1;
    plan.audioBytesPerMinute = 3000;
    Record(plan);
    const std::vector<std::string> entry{"add", "20100523", "1000", "1002", "--cams", "1,3"};
    std::map<std::string, std::map<std::string, std::string>> images;
    for (const bool secure : {false, true}) {
        SCOPED_TRACE(secure ? "HTTPS" : "HTTP");
        scheme = secure ? "https://" : "";
        trust = secure ? std::vector<std::string>{"--pin", OpensslPin(tls.selfCert)}
                       : std::vector<std::string>{};
        StartServer("tk", secure ? std::vector<std::string>{"--tls-cert", tls.selfCert, "--tls-key",
                                                            tls.selfKey}
                                 : std::vector<std::string>{});
        const RunResult day = Remote({"day", "20100523"}, "tk");
        ASSERT_EQ(day.status, 0) << day.err;
        ASSERT_EQ(Remote(entry, "tk").status, 0);
        const std::string folder = secure ? "E:\\Tls" : "E:\\Http";
        const RunResult r = Remote({"backup", "--folder", folder, "--no-progress"}, "tk");
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(Cli({"verify", folder, "--no-progress"}).status, 0);
        images[scheme] = FilesBelow(usb + (secure ? "/Tls" : "/Http"));
        StopServer();
    }
    EXPECT_GT(images[""].size(), 5u);
    EXPECT_EQ(images["https://"], images[""]);
    EXPECT_EQ(ServerTemp(), std::vector<std::string>{});
}

TEST_F(CliRemoteTest, AWrongCertificateOrASchemeTheServerDoesNotSpeakIsAClearRefusal) {
    const TlsFiles tls = MakeTlsFiles(prefix());
    ASSERT_TRUE(tls.ok) << ReadText(prefix() + "/openssl.log");
    mkrec::RecorderPlan plan;
    plan.days = {"20100523"};
    plan.firstMinute = plan.lastMinute = 600;
    plan.width = plan.height = 16;
    Record(plan);
    const std::string pin = OpensslPin(tls.signedCert), wrong = OpensslPin(tls.selfCert);
    scheme = "https://";
    trust = {"--pin", pin};
    StartServer("", {"--tls-cert", tls.signedCert, "--tls-key", tls.signedKey});
    ASSERT_EQ(Remote({"days"}).out, "20100523\n");

    // Both links of a command are refused alike, the expected pin and the one seen named.
    trust = {"--pin", wrong};
    for (const std::vector<std::string>& command :
         {std::vector<std::string>{"days"}, std::vector<std::string>{"day", "20100523"}}) {
        const RunResult r = Remote(command);
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find("shows the certificate " + pin), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("not the pinned " + wrong), std::string::npos) << r.err;
        EXPECT_EQ(r.out.find("10:00"), std::string::npos) << r.out;
    }
    // The authority that signed it, and one that did not.
    trust = {"--ca", tls.caCert};
    EXPECT_EQ(Remote({"day", "20100523"}).status, 0);
    trust = {"--ca", tls.otherCaCert};
    RunResult r = Remote({"day", "20100523"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("not trusted as 127.0.0.1 by " + tls.otherCaCert), std::string::npos)
        << r.err;
    // Plain HTTP at the HTTPS port: the server says what it speaks.
    scheme.clear();
    trust.clear();
    r = Remote({"day", "20100523"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("this port speaks HTTPS only"), std::string::npos) << r.err;
    StopServer();

    // TLS asked of a plain HTTP server: refused, never answered in clear.
    StartServer();
    scheme = "https://";
    trust = {"--pin", pin};
    for (const std::vector<std::string>& command :
         {std::vector<std::string>{"days"}, std::vector<std::string>{"day", "20100523"}}) {
        r = Remote(command);
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find("answered in plain HTTP where TLS (https://) was asked for"),
                  std::string::npos)
            << r.err;
    }
    // A pin is for an https:// address only, and must be one.
    scheme.clear();
    r = Remote({"days"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("--ca and --pin go with an https:// --remote address"), std::string::npos)
        << r.err;
    scheme = "https://";
    trust = {"--pin", "sha256:1234"};
    r = Remote({"days"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("64 hex digits"), std::string::npos) << r.err;
}

// A range in which the recorder recorded nothing of the cameras asked for has nothing to fetch:
// no failure, and nothing a later run has to retry; a camera of the list that recorded nothing
// in the range does not keep the others' minutes from being pulled.
TEST_F(CliRemoteTest, APullOfARangeOrCameraWithoutRecordingsNeitherFailsNorBlocksTheNextRuns) {
    mkrec::RecorderPlan plan;
    plan.days = {"20100523"};
    plan.firstMinute = 600;
    plan.lastMinute = 604;
    plan.width = 32;
    plan.height = 24;
    plan.cameraStops = {{3, 600}};  // camera 4 records nothing
    Record(plan);
    StartServer("gate-token");
    const std::string pulls = prefix() + "/pull.d", images = prefix() + "/images";
    fs::create_directories(pulls);
    fs::create_directories(images);
    std::ofstream(prefix() + "/gate.token") << "gate-token\n";
    fs::permissions(prefix() + "/gate.token", fs::perms::owner_read | fs::perms::owner_write);
    const auto configure = [&](const std::string& range, const std::string& cameras) {
        std::ofstream(pulls + "/gate.conf")
            << "remote = 127.0.0.1:" << port << "\ntoken-file = " << prefix()
            << "/gate.token\ncamera-count = 4\ncameras = " << cameras << "\nrange = " << range
            << "\ntarget = " << images << "\n";
    };
    ::setenv("QUILLON_PULL_DIR", pulls.c_str(), 1);

    configure("20100523 1100 1130", "all");  // the day has recordings, the range none
    const RunResult empty = Cli({"pull", "gate"});
    EXPECT_EQ(empty.status, 0) << empty.out << empty.err;
    EXPECT_NE(empty.out.find("pull gate: nothing recorded"), std::string::npos) << empty.out;

    configure("20100523 1000 1003", "1,4");
    const RunResult some = Cli({"pull", "gate"});
    EXPECT_EQ(some.status, 0) << some.out << some.err;
    EXPECT_NE(some.out.find("pull gate: 1 entries (0 ranges from earlier runs) into "),
              std::string::npos)
        << some.out;
    EXPECT_NE(some.out.find("camera 4 recorded nothing in 20100523 1000-1003"), std::string::npos)
        << some.out;

    configure("20100523 1000 1003", "4");
    const RunResult none = Cli({"pull", "gate"});
    EXPECT_EQ(none.status, 0) << none.out << none.err;
    EXPECT_NE(none.out.find("pull gate: nothing recorded"), std::string::npos) << none.out;
    ::unsetenv("QUILLON_PULL_DIR");

    std::vector<fs::path> runs;
    for (const auto& e : fs::directory_iterator(images))
        runs.push_back(e.path());
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(Sha256sumCheck(runs[0].string()), 0);
    EXPECT_EQ(Cli({"verify", runs[0].string(), "--no-progress"}).status, 0);
    int minutes = 0;
    for (const auto& e : fs::directory_iterator(runs[0] / "2010_05_23=10,00~10,03" / "20100523"))
        minutes += e.path().filename().string().size() == 17 &&
                   e.path().filename().string().substr(12) == "N.dat";
    EXPECT_EQ(minutes, 4);
    EXPECT_EQ(ServerTemp(), std::vector<std::string>{});
}

// Two runs of one recorder meet (the timer's and one started by hand): the second waits for the
// first, and whichever succeeds, the range of the one that failed is still there for the next
// run, which fetches it.
TEST_F(CliRemoteTest, TwoRunsOfOneRecorderLoseNoRangeWhateverOrderTheyEndIn) {
    if (!fs::exists("/proc/locks"))
        GTEST_SKIP() << "no /proc/locks to see the runs wait";
    mkrec::RecorderPlan plan;
    plan.days = {"20100523"};
    plan.firstMinute = 600;
    plan.lastMinute = 604;
    plan.width = 32;
    plan.height = 24;
    Record(plan);
    StartServer("gate-token");
    const std::string pulls = prefix() + "/pull.d", images = prefix() + "/images";
    fs::create_directories(pulls);
    fs::create_directories(images);
    std::ofstream(prefix() + "/gate.token") << "gate-token\n";
    std::ofstream(prefix() + "/stale.token") << "an-old-token\n";
    for (const char* token : {"/gate.token", "/stale.token"})
        fs::permissions(prefix() + token, fs::perms::owner_read | fs::perms::owner_write);
    const auto configure = [&](const std::string& range, const std::string& token) {
        std::ofstream(pulls + "/gate.conf")
            << "remote = 127.0.0.1:" << port << "\ntoken-file = " << prefix() << "/" << token
            << ".token\nrange = " << range << "\ntarget = " << images << "\n";
    };
    ::setenv("QUILLON_PULL_DIR", pulls.c_str(), 1);

    // Another program holds the machine's backup lock while both runs start.
    platform::NamedLock::Attempt held = platform::NamedLock::Acquire("Backup", false);
    ASSERT_TRUE(held.lock);
    const std::string lockFile = platform::RuntimeDir() + "/Backup.lock";
    configure("20100523 1000 1001", "gate");
    const RunningProgram first = StartCli({"pull", "gate"}, "first");
    ASSERT_TRUE(WaitWhileRunning(first.pid, [&] { return LockWaiters(lockFile) == 1; }));
    // The second run's token is refused: it fails whenever it comes to run.
    configure("20100523 1003 1004", "stale");
    const RunningProgram second = StartCli({"pull", "gate"}, "second");
    ASSERT_TRUE(WaitWhileRunning(second.pid, [&] { return LockWaiters(lockFile) == 2; }));
    held.lock.reset();
    const RunResult a = FinishProgram(first), b = FinishProgram(second);
    EXPECT_EQ(a.status, 0) << a.out << a.err;
    EXPECT_EQ(b.status, 1) << b.out << b.err;

    configure("20100523 1000 1001", "gate");
    const RunResult next = Cli({"pull", "gate"});
    EXPECT_EQ(next.status, 0) << next.out << next.err;
    ::unsetenv("QUILLON_PULL_DIR");
    // Each range is in one of the images, and each image verifies.
    std::multiset<std::string> entries;
    for (const auto& run : fs::directory_iterator(images)) {
        EXPECT_EQ(Sha256sumCheck(run.path().string()), 0) << run.path();
        for (const auto& e : fs::directory_iterator(run.path()))
            if (e.is_directory() && e.path().filename().string().rfind("2010_", 0) == 0)
                entries.insert(e.path().filename().string());
    }
    EXPECT_EQ(entries.count("2010_05_23=10,00~10,01"), 2u);  // the first run's and the last's
    EXPECT_EQ(entries.count("2010_05_23=10,03~10,04"), 1u);
}

// Recorders whose pulls share one target and start in the same second (their timers fire
// together and the runs take turns): each run's image is a folder of its own, never one that
// another run wrote.
TEST_F(CliRemoteTest, PullsStartedInOneSecondIntoOneTargetEachMakeAnImageOfTheirOwn) {
    if (!fs::exists("/proc/locks"))
        GTEST_SKIP() << "no /proc/locks to see the runs wait";
    mkrec::RecorderPlan plan;
    plan.days = {"20100523"};
    plan.firstMinute = 600;
    plan.lastMinute = 601;
    plan.width = 32;
    plan.height = 24;
    Record(plan);
    StartServer();
    const std::string pulls = prefix() + "/pull.d", images = prefix() + "/images";
    fs::create_directories(pulls);
    fs::create_directories(images);
    const std::vector<std::string> names{"gate", "yard", "dock"};
    for (const std::string& name : names)
        std::ofstream(pulls + "/" + name + ".conf")
            << "remote = 127.0.0.1:" << port << "\nrange = 20100523 1000 1001\ntarget = " << images
            << "\n";
    ::setenv("QUILLON_PULL_DIR", pulls.c_str(), 1);
    platform::NamedLock::Attempt held = platform::NamedLock::Acquire("Backup", false);
    ASSERT_TRUE(held.lock);
    const std::string lockFile = platform::RuntimeDir() + "/Backup.lock";
    // All three begin early in one second.
    std::this_thread::sleep_for(
        std::chrono::milliseconds(1000 - std::chrono::duration_cast<std::chrono::milliseconds>(
                                             std::chrono::system_clock::now().time_since_epoch())
                                                 .count() %
                                             1000));
    std::vector<RunningProgram> runs;
    for (const std::string& name : names)
        runs.push_back(StartCli({"pull", name}, name));
    for (std::size_t i = 0; i < runs.size(); ++i)
        ASSERT_TRUE(WaitWhileRunning(runs[i].pid, [&] { return LockWaiters(lockFile) == 3; }));
    held.lock.reset();
    for (const RunningProgram& run : runs) {
        const RunResult r = FinishProgram(run);
        EXPECT_EQ(r.status, 0) << r.out << r.err;
    }
    ::unsetenv("QUILLON_PULL_DIR");
    int folders = 0;
    for (const auto& run : fs::directory_iterator(images)) {
        ++folders;
        EXPECT_EQ(Sha256sumCheck(run.path().string()), 0) << run.path();
        EXPECT_TRUE(fs::exists(run.path() / "SHA256SUMS")) << run.path();
        EXPECT_FALSE(fs::exists(run.path() / "SHA256SUMS-1")) << run.path() << " holds two runs";
    }
    EXPECT_EQ(folders, 3);
}

// "range = today" pulled every hour from a recorder that is down all day: each failed run
// keeps a range that holds the one before. When the recorder is back, the next run fetches
// each minute once, in one entry, however many runs failed; and so it does after runs that
// scheduled their range and then failed on their target.
TEST_F(CliRemoteTest, RangesOfManyFailedRunsAreFetchedOnceEachMinute) {
    mkrec::RecorderPlan plan;
    plan.days = {"20100523"};
    plan.firstMinute = 600;
    plan.lastMinute = 659;
    plan.cameras = 1;
    plan.width = 16;
    plan.height = 16;
    Record(plan);
    const std::string pulls = prefix() + "/pull.d", images = prefix() + "/images";
    fs::create_directories(pulls);
    fs::create_directories(images);
    const auto configure = [&](const std::string& end, const std::string& target,
                               const std::string& day = "20100523") {
        std::ofstream(pulls + "/gate.conf") << "remote = 127.0.0.1:" << port << "\nrange = " << day
                                            << " 1000 " << end << "\ntarget = " << target << "\n";
    };
    ::setenv("QUILLON_PULL_DIR", pulls.c_str(), 1);
    // More failed runs than a schedule has slots.
    for (int minute = 0; minute < kScheduleSlots + 5; ++minute) {
        char end[8];
        std::snprintf(end, sizeof end, "10%02d", minute);
        configure(end, images);
        const RunResult down = Cli({"pull", "gate"});
        ASSERT_EQ(down.status, 1) << end << down.out << down.err;
    }
    StartServer();
    const auto minutesIn = [&](const fs::path& run) {
        int minutes = 0;
        for (const auto& e : fs::recursive_directory_iterator(run))
            minutes += e.path().filename().string().size() == 17 &&
                       e.path().filename().string().substr(12) == "N.dat";
        return minutes;
    };
    configure("1059", images);
    const RunResult back = Cli({"pull", "gate"});
    EXPECT_EQ(back.status, 0) << back.out << back.err;
    EXPECT_NE(back.out.find("pull gate: 1 entries "), std::string::npos) << back.out;
    std::vector<fs::path> runs;
    for (const auto& e : fs::directory_iterator(images))
        runs.push_back(e.path());
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(minutesIn(runs[0]), 60);

    // A target that takes less than a minute's data file: the ranges are scheduled, and the
    // runs fail after.
    plan.days = {"20100524"};
    plan.lastMinute = 606;
    plan.width = 640;
    plan.height = 480;
    Record(plan);
    const std::string again = prefix() + "/again";
    fs::create_directories(again);
    for (const std::string end : {"1002", "1004"}) {
        configure(end, again, "20100524");
        const RunResult full = RunProgram(CliPath(), WithBase({"pull", "gate"}), prefix(), 1 << 20);
        EXPECT_EQ(full.status, 1) << full.out << full.err;
        EXPECT_NE(full.out.find("the backup did not complete"), std::string::npos) << full.out;
    }
    configure("1006", again, "20100524");
    const RunResult fetched = Cli({"pull", "gate"});
    EXPECT_EQ(fetched.status, 0) << fetched.out << fetched.err;
    EXPECT_NE(fetched.out.find("pull gate: 1 entries "), std::string::npos) << fetched.out;
    runs.clear();
    for (const auto& e : fs::directory_iterator(again))
        if (e.path().extension() != ".incomplete")
            runs.push_back(e.path());
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(minutesIn(runs[0]), 7);
    ::unsetenv("QUILLON_PULL_DIR");
}

// More days kept by failed runs than a schedule has slots: the run back-up what fits, says the
// rest is the next run's and exits as failed; the next run fetches the rest.
TEST_F(CliRemoteTest, DaysBeyondTheScheduleAreFetchedByTheNextRun) {
    mkrec::RecorderPlan plan;
    for (int day = 1; day <= kScheduleSlots + 2; ++day) {
        char name[16];
        std::snprintf(name, sizeof name, "2010%02d%02d", 3 + (day - 1) / 28, 1 + (day - 1) % 28);
        plan.days.push_back(name);
    }
    plan.firstMinute = plan.lastMinute = 600;
    plan.cameras = 1;
    plan.width = plan.height = 16;
    Record(plan);
    const std::string pulls = prefix() + "/pull.d", images = prefix() + "/images";
    fs::create_directories(pulls);
    fs::create_directories(images);
    ::setenv("QUILLON_PULL_DIR", pulls.c_str(), 1);
    for (const std::string& day : plan.days) {
        std::ofstream(pulls + "/gate.conf") << "remote = 127.0.0.1:" << port << "\nrange = " << day
                                            << " 1000 1000\ntarget = " << images << "\n";
        ASSERT_EQ(Cli({"pull", "gate"}).status, 1) << day;  // the recorder is down
    }
    StartServer();
    const RunResult first = Cli({"pull", "gate"});
    EXPECT_EQ(first.status, 1) << first.out << first.err;
    EXPECT_NE(first.out.find("pull gate: " + std::to_string(kScheduleSlots) + " entries "),
              std::string::npos)
        << first.out;
    EXPECT_NE(first.out.find("; 2 ranges did not fit its schedule, the next run fetches them"),
              std::string::npos)
        << first.out;
    const RunResult second = Cli({"pull", "gate"});
    EXPECT_EQ(second.status, 0) << second.out << second.err;
    EXPECT_NE(second.out.find("pull gate: 2 entries "), std::string::npos) << second.out;
    ::unsetenv("QUILLON_PULL_DIR");
    std::set<std::string> entries;
    for (const auto& run : fs::directory_iterator(images))
        for (const auto& e : fs::directory_iterator(run.path()))
            if (e.is_directory() && e.path().filename().string().rfind("2010_", 0) == 0)
                entries.insert(e.path().filename().string());
    EXPECT_EQ(entries.size(), plan.days.size());
}

// A recorder whose recordings are not there (its disk not mounted) lists no day: the run is no
// success that found nothing recorded, and the range waits for the disk to come back.
TEST_F(CliRemoteTest, ARecorderThatListsNoDayFailsThePullAndKeepsItsRange) {
    mkrec::RecorderPlan plan;
    plan.days = {"20100523"};
    plan.firstMinute = 600;
    plan.lastMinute = 601;
    plan.cameras = 1;
    plan.width = plan.height = 16;
    Record(plan);
    StartServer();
    const std::string pulls = prefix() + "/pull.d", images = prefix() + "/images";
    fs::create_directories(pulls);
    fs::create_directories(images);
    std::ofstream(pulls + "/gate.conf")
        << "remote = 127.0.0.1:" << port << "\nrange = 20100523 1000 1001\ntarget = " << images
        << "\n";
    ::setenv("QUILLON_PULL_DIR", pulls.c_str(), 1);
    fs::rename(driveC() + "/QorData", driveC() + "/QorData.unmounted");
    const RunResult gone = Cli({"pull", "gate"});
    EXPECT_EQ(gone.status, 1) << gone.out << gone.err;
    EXPECT_NE(gone.out.find("pull gate: failed: "), std::string::npos) << gone.out;
    fs::rename(driveC() + "/QorData.unmounted", driveC() + "/QorData");
    std::ofstream(pulls + "/gate.conf")
        << "remote = 127.0.0.1:" << port << "\nrange = 20100523 1001 1001\ntarget = " << images
        << "\n";
    const RunResult back = Cli({"pull", "gate"});
    ::unsetenv("QUILLON_PULL_DIR");
    EXPECT_EQ(back.status, 0) << back.out << back.err;
    EXPECT_NE(back.out.find("pull gate: 1 entries (1 ranges from earlier runs) into "),
              std::string::npos)
        << back.out;
    std::vector<fs::path> runs;
    for (const auto& e : fs::directory_iterator(images))
        runs.push_back(e.path());
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_TRUE(fs::exists(runs[0] / "2010_05_23=10,00~10,01"));
}

// A recorder in another time zone than the pulling machine: its days and minutes are its own,
// and "today" is the recorder's today, named in its pull.d file. A zone that does not exist is
// refused, not taken for the machine's own.
TEST_F(CliRemoteTest, APullReckonsItsRangeInTheRecordersTimeZone) {
    if (!fs::exists("/usr/share/zoneinfo/Etc/GMT+12"))
        GTEST_SKIP() << "no time zone database";
    // A zone whose date is not the machine's now, and in which 00:01 has passed.
    const auto dateIn = [](const char* zone, int* minuteOfDay) {
        const char* was = std::getenv("TZ");
        const std::string saved = was ? was : "";
        ::setenv("TZ", zone, 1);
        ::tzset();
        const std::time_t now = std::time(nullptr);
        std::tm tm{};
        localtime_r(&now, &tm);
        if (was)
            ::setenv("TZ", saved.c_str(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
        char day[16];
        std::strftime(day, sizeof day, "%Y%m%d", &tm);
        if (minuteOfDay)
            *minuteOfDay = tm.tm_hour * 60 + tm.tm_min;
        return std::string(day);
    };
    const std::string here = dateIn(std::getenv("TZ") ? std::getenv("TZ") : "UTC", nullptr);
    std::string zone, day;
    for (const char* candidate : {"Etc/GMT+12", "Etc/GMT-14"}) {
        int minute = 0;
        const std::string date = dateIn(candidate, &minute);
        if (date != here && minute >= 3) {
            zone = candidate;
            day = date;
        }
    }
    if (zone.empty())
        GTEST_SKIP() << "every zone at hand shows this machine's date, or its first minutes";
    mkrec::RecorderPlan plan;
    plan.days = {day};
    plan.firstMinute = 0;
    plan.lastMinute = 1;
    plan.cameras = 1;
    plan.width = plan.height = 16;
    Record(plan);
    StartServer();
    const std::string pulls = prefix() + "/pull.d", images = prefix() + "/images";
    fs::create_directories(pulls);
    fs::create_directories(images);
    ::setenv("QUILLON_PULL_DIR", pulls.c_str(), 1);
    const auto pull = [&](const std::string& timeZone) {
        std::ofstream(pulls + "/gate.conf")
            << "remote = 127.0.0.1:" << port << "\nrange = today\ntime-zone = " << timeZone
            << "\ntarget = " << images << "\n";
        return Cli({"pull", "gate"});
    };
    const RunResult unknown = pull("Nowhere/Atlantis");
    EXPECT_EQ(unknown.status, 1) << unknown.out << unknown.err;
    EXPECT_NE(unknown.out.find("Nowhere/Atlantis"), std::string::npos) << unknown.out;
    const RunResult r = pull(zone);
    ::unsetenv("QUILLON_PULL_DIR");
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    std::vector<fs::path> runs;
    for (const auto& e : fs::directory_iterator(images))
        runs.push_back(e.path());
    ASSERT_EQ(runs.size(), 1u) << r.out;
    const std::string entry =
        day.substr(0, 4) + "_" + day.substr(4, 2) + "_" + day.substr(6, 2) + "=00,00~";
    bool found = false;
    for (const auto& e : fs::directory_iterator(runs[0]))
        found = found || e.path().filename().string().rfind(entry, 0) == 0;
    EXPECT_TRUE(found) << entry << " in " << runs[0];
}

// The token file of a pull is its owner's alone: one that others may read is refused before
// anything is asked of the recorder, saying which file and what to do.
TEST_F(CliRemoteTest, APullRefusesATokenFileThatOthersMayRead) {
    mkrec::RecorderPlan plan;
    plan.days = {"20100523"};
    plan.firstMinute = plan.lastMinute = 600;
    plan.cameras = 1;
    plan.width = plan.height = 16;
    Record(plan);
    StartServer("gate-token");
    const std::string pulls = prefix() + "/pull.d", images = prefix() + "/images";
    fs::create_directories(pulls);
    fs::create_directories(images);
    const std::string token = prefix() + "/gate.token";
    std::ofstream(token) << "gate-token\n";
    std::ofstream(pulls + "/gate.conf")
        << "remote = 127.0.0.1:" << port << "\ntoken-file = " << token
        << "\nrange = 20100523 1000 1000\ntarget = " << images << "\n";
    ::setenv("QUILLON_PULL_DIR", pulls.c_str(), 1);
    for (const fs::perms open : {fs::perms::others_read, fs::perms::group_read}) {
        fs::permissions(token, fs::perms::owner_read | fs::perms::owner_write | open);
        const RunResult r = Cli({"pull", "gate"});
        EXPECT_EQ(r.status, 1) << r.out << r.err;
        EXPECT_NE(r.out.find("pull gate: failed: the token file " + token), std::string::npos)
            << r.out;
        EXPECT_NE(r.out.find("chmod 600"), std::string::npos) << r.out;
        EXPECT_TRUE(fs::is_empty(images));
    }
    fs::permissions(token, fs::perms::owner_read | fs::perms::owner_write);
    const RunResult r = Cli({"pull", "gate"});
    ::unsetenv("QUILLON_PULL_DIR");
    EXPECT_EQ(r.status, 0) << r.out << r.err;
}

// A run that fails on a full target leaves no folder that looks like a run's image: what it
// wrote stays under a name that says it is incomplete, and the next run makes the image.
TEST_F(CliRemoteTest, AFailedPullLeavesNoImageFolderUnderARunsName) {
    mkrec::RecorderPlan plan;
    plan.days = {"20100523"};
    plan.firstMinute = 600;
    plan.lastMinute = 602;
    plan.cameras = 2;
    plan.width = 640;
    plan.height = 480;
    Record(plan);
    StartServer();
    const std::string pulls = prefix() + "/pull.d", images = prefix() + "/images";
    fs::create_directories(pulls);
    fs::create_directories(images);
    std::ofstream(pulls + "/gate.conf")
        << "remote = 127.0.0.1:" << port << "\nrange = 20100523 1000 1002\ntarget = " << images
        << "\n";
    ::setenv("QUILLON_PULL_DIR", pulls.c_str(), 1);
    // The minutes' data files are larger than the target takes.
    std::error_code ec;
    const RunResult full = RunProgram(CliPath(), WithBase({"pull", "gate"}), prefix(), 1 << 20);
    EXPECT_EQ(full.status, 1) << full.out << full.err;
    std::vector<std::string> folders;
    for (const auto& e : fs::directory_iterator(images, ec))
        folders.push_back(e.path().filename().string());
    ASSERT_EQ(folders.size(), 1u);
    EXPECT_EQ(folders[0].size() > 11 &&
                  folders[0].compare(folders[0].size() - 11, 11, ".incomplete") == 0,
              true)
        << folders[0];
    EXPECT_NE(full.out.find(folders[0]), std::string::npos) << full.out;
    const RunResult again = Cli({"pull", "gate"});
    ::unsetenv("QUILLON_PULL_DIR");
    EXPECT_EQ(again.status, 0) << again.out << again.err;
    int images_ = 0;
    for (const auto& e : fs::directory_iterator(images))
        if (e.path().extension() != ".incomplete") {
            ++images_;
            EXPECT_EQ(Sha256sumCheck(e.path().string()), 0);
        }
    EXPECT_EQ(images_, 1);
}

// A run killed while it backs up cannot rename its folder: the next run of the recorder does,
// before it makes its own image.
TEST_F(CliRemoteTest, AKilledPullsFolderIsSetAsideByTheNextRun) {
    mkrec::RecorderPlan plan;
    plan.days = {"20100523"};
    plan.firstMinute = 600;
    plan.lastMinute = 611;
    plan.cameras = 4;
    plan.width = 640;
    plan.height = 480;
    Record(plan);
    StartServer();
    const std::string pulls = prefix() + "/pull.d", images = prefix() + "/images";
    fs::create_directories(pulls);
    fs::create_directories(images);
    std::ofstream(pulls + "/gate.conf")
        << "remote = 127.0.0.1:" << port << "\nrange = 20100523 1000 1011\ntarget = " << images
        << "\n";
    ::setenv("QUILLON_PULL_DIR", pulls.c_str(), 1);
    const RunningProgram run = StartCli({"pull", "gate"}, "killed");
    // Killed once the first minute's files have arrived.
    const auto arrived = [&] {
        std::error_code ec;
        for (const auto& e : fs::recursive_directory_iterator(images, ec))
            if (e.path().filename().string().rfind("201005231000N.", 0) == 0)
                return true;
        return false;
    };
    const bool wasKilled = WaitWhileRunning(run.pid, arrived) && ::kill(run.pid, SIGKILL) == 0;
    const RunResult killed = FinishProgram(run);
    if (!wasKilled || killed.status != 128 + SIGKILL) {
        ::unsetenv("QUILLON_PULL_DIR");
        GTEST_SKIP() << "the run ended before it could be killed: " << killed.out;
    }
    std::vector<std::string> before;
    for (const auto& e : fs::directory_iterator(images))
        before.push_back(e.path().filename().string());
    ASSERT_EQ(before.size(), 1u);
    // The server holds the killed run's entry as being fetched: a new one does not.
    StopServer();
    StartServer();
    const RunResult next = Cli({"pull", "gate"});
    ::unsetenv("QUILLON_PULL_DIR");
    EXPECT_EQ(next.status, 0) << next.out << next.err;
    EXPECT_TRUE(fs::is_directory(images + "/" + before[0] + ".incomplete"));
    EXPECT_FALSE(fs::exists(images + "/" + before[0]));
    int good = 0;
    for (const auto& e : fs::directory_iterator(images))
        if (e.path().extension() != ".incomplete") {
            ++good;
            EXPECT_EQ(Sha256sumCheck(e.path().string()), 0);
        }
    EXPECT_EQ(good, 1);
}

// A pull.d file that lists a camera beyond its camera count names no camera the recorder has:
// refused, saying which line to change, rather than a camera that never records.
TEST_F(CliRemoteTest, APullOfACameraBeyondTheCameraCountIsRefused) {
    const std::string pulls = prefix() + "/pull.d";
    fs::create_directories(pulls);
    std::ofstream(pulls + "/gate.conf")
        << "remote = 127.0.0.1:" << port << "\ncameras = 2,6\ncamera-count = 4\nrange = yesterday"
        << "\ntarget = " << prefix() << "/images\n";
    ::setenv("QUILLON_PULL_DIR", pulls.c_str(), 1);
    const RunResult r = Cli({"pull", "gate"});
    ::unsetenv("QUILLON_PULL_DIR");
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    EXPECT_NE(r.out.find("gate.conf: camera 6 is beyond camera-count 4"), std::string::npos)
        << r.out;
}

// The target's disk is not mounted: its folder is not there, and the run makes none in its
// place on the disk below (which would fill the system's disk); the range waits for the disk.
TEST_F(CliRemoteTest, APullWhoseTargetIsNotThereMakesNoneAndKeepsItsRange) {
    mkrec::RecorderPlan plan;
    plan.days = {"20100523"};
    plan.firstMinute = plan.lastMinute = 600;
    plan.cameras = 1;
    plan.width = plan.height = 16;
    Record(plan);
    StartServer();
    const std::string pulls = prefix() + "/pull.d", mount = prefix() + "/backups";
    fs::create_directories(pulls);
    fs::create_directories(mount);  // the mount point, its disk not mounted
    std::ofstream(pulls + "/gate.conf")
        << "remote = 127.0.0.1:" << port << "\nrange = 20100523 1000 1000\ntarget = " << mount
        << "/gate\n";
    ::setenv("QUILLON_PULL_DIR", pulls.c_str(), 1);
    const RunResult unmounted = Cli({"pull", "gate"});
    EXPECT_EQ(unmounted.status, 1) << unmounted.out << unmounted.err;
    EXPECT_NE(unmounted.out.find("its target " + mount + "/gate is not there"), std::string::npos)
        << unmounted.out;
    EXPECT_FALSE(fs::exists(mount + "/gate"));
    fs::create_directories(mount + "/gate");
    const RunResult mounted = Cli({"pull", "gate"});
    ::unsetenv("QUILLON_PULL_DIR");
    EXPECT_EQ(mounted.status, 0) << mounted.out << mounted.err;
    EXPECT_NE(mounted.out.find("(1 ranges from earlier runs)"), std::string::npos) << mounted.out;
}
