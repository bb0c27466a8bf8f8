// quillon-cli pull against quillon-share servers on loopback, both real processes: recorders
// pulled from their pull.d files at once over the one port given, a range kept by a failed run
// fetched by the next, what a run says on the journal, and the faults an unattended run meets (a
// recorder down or stuck, a damaged recording, a token on the command line). The rules of the
// configuration and of a run's range are pull/'s own.
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <optional>
#include <thread>

#include "CliDay.h"
#include "LoopbackProxy.h"
#include "RemoteFixture.h"
#include "ScopedEnv.h"
#include "TlsFiles.h"
#include "platform/DrivePaths.h"
#include "platform/NamedLock.h"

class CliPullTest : public RemoteCliFixture {
  protected:
    void SetUp() override {
        RemoteCliFixture::SetUp();
        pulls = prefix() + "/pull.d";
        images = prefix() + "/images";
        fs::create_directories(pulls);
        pullDir.emplace("QUILLON_PULL_DIR", pulls);
    }
    void TearDown() override {
        pullDir.reset();
        RemoteCliFixture::TearDown();
    }
    // pull.d/<name>.conf: its lines, then the target images/<name>.
    void Conf(const std::string& name, const std::string& lines) const {
        fs::create_directories(images + "/" + name);
        std::ofstream(pulls + "/" + name + ".conf")
            << lines << "\ntarget = " << images << "/" << name << "\n";
    }
    // gate.conf of the recorder at port.
    void Gate(const std::string& lines) const {
        Conf("gate", "remote = 127.0.0.1:" + std::to_string(port) + "\n" + lines);
    }
    // The folders in a target, in name order: one per run.
    static std::vector<fs::path> Runs(const std::string& target) {
        std::vector<fs::path> runs;
        for (const auto& e : fs::directory_iterator(target))
            runs.push_back(e.path());
        std::sort(runs.begin(), runs.end());
        return runs;
    }

    std::string pulls, images;
    std::optional<ScopedEnv> pullDir;
};

TEST_F(CliPullTest, TwoRecordersArePulledAtOnceAndAFailedRunIsFetchedByTheNext) {
    mkrec::RecorderPlan plan = Plan(600, 604);
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
    // ... through the one port a firewall lets through (a relay to the server's port alone): the
    // days too are asked there.
    const FaultProxy relay(port);
    int port2 = FreePortPair();
    while (port2 == port || port2 == port - 2 || port2 - 2 == port)
        port2 = FreePortPair();

    Secret("first.token", "first-token\n", 0600);
    Secret("second.token", "other\n", 0600);
    Conf("first", "# the gate recorder\nremote = https://127.0.0.1:" +
                      std::to_string(relay.port()) + "\npin = " + OpensslPin(tls.selfCert) +
                      "\ntoken-file = " + prefix() + "/first.token\nrange = 20100523 1000 1003");
    Conf("second",
         "remote = 127.0.0.1:" + std::to_string(port2) + "\ntoken-file = " + prefix() +
             "/second.token\ncameras = 1,2\ncamera-count = 2\nrange = 20100523 1001 1004");
    // The second recorder is not up yet.
    EXPECT_THAT(Cli({"pull", "second"}), Out(1, "pull second: failed: "));

    const RunningProgram second =
        StartProgram(std::string(QUILLON_BIN_DIR) + "/quillon-share",
                     {"--root", "C:\\QorData2", "--listen", "127.0.0.1:" + std::to_string(port2),
                      "--token", "other"},
                     prefix(), 0, "share2");
    ASSERT_TRUE(WaitWhileRunning(second.pid, [&] {  // up once it answers
        return Cli({"--remote", "127.0.0.1:" + std::to_string(port2), "--token", "other", "days"})
                   .status == 0;
    }));
    const RunningProgram a = StartCli({"pull", "first"}, "pull1");
    const RunningProgram b = StartCli({"pull", "second"}, "pull2");
    const RunResult first = FinishProgram(a), other = FinishProgram(b);
    ::kill(second.pid, SIGTERM);
    FinishProgram(second);
    ASSERT_THAT(first, Out(0, "pull first: 1 entries (0 ranges from earlier runs) into "));
    // Before its one line, a run says each entry it scheduled, as add says it.
    EXPECT_LT(first.out.find("2010-05-23 - 10:00 ~ 10:03  "), first.out.find("pull first: 1 "));
    EXPECT_THAT(first.out, HasSubstr(" KB  all cameras  cameras 01,02,03,04\n"));
    // The range of the failed run was fetched, once.
    ASSERT_THAT(other, Out(0, "pull second: 1 entries (1 ranges from earlier runs) into "));

    const std::vector<fs::path> firstRuns = Runs(images + "/first"),
                                secondRuns = Runs(images + "/second");
    ASSERT_EQ(firstRuns.size(), 1u);
    ASSERT_EQ(secondRuns.size(), 1u);
    const std::string firstImage = firstRuns[0].string(), secondImage = secondRuns[0].string();
    EXPECT_EQ(Sha256sumCheck(firstImage), 0);
    EXPECT_EQ(Sha256sumCheck(secondImage), 0);
    ASSERT_EQ(Cli({"add", "20100523", "1000", "1003", "--cams", "all"}).status, 0);
    ASSERT_EQ(Cli({"backup", "--folder", "E:\\Local", "--no-progress"}).status, 0);
    EXPECT_EQ(ImageBelow(firstImage), ImageBelow(usb + "/Local"));
    EXPECT_EQ(ExpectWholeCopiesOfRecorder(secondImage + "/2010_05_23=10,01~10,04/20100523/",
                                          driveC() + "/QorData2/20100523/"),
              3 * 4);  // the data, index and audio files of four minutes
    EXPECT_EQ(ServerTemp(), std::vector<std::string>{});
}

TEST_F(CliPullTest, OnTheJournalARunIsOneLineAtNoticeOrErrorAndTheRestAtDebug) {
    Record(Plan(600, 604, 2, 32, 24));
    StartServer("gate-token");
    Secret("gate.token", "gate-token\n", 0600);
    Gate("token-file = " + prefix() + "/gate.token\ncamera-count = 2\nrange = 20100523 1000 1002");
    // Both streams into one file that JOURNAL_STREAM names, as systemd gives a service.
    const std::string journal = prefix() + "/journal";
    std::ofstream(journal).close();
    struct stat st {};
    ASSERT_EQ(::stat(journal.c_str(), &st), 0);
    const ScopedEnv stream("JOURNAL_STREAM",
                           std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino));
    // The lines of a run above debug; every line must carry a level. detail: how many at debug.
    std::size_t detail = 0;
    const auto run = [&](int expected) {
        std::ofstream(journal, std::ios::trunc).close();  // the same inode, emptied
        const RunResult r = RunProgramIntoOneFile(CliPath(), WithBase({"pull", "gate"}), journal);
        EXPECT_EQ(r.status, expected) << r.out;
        std::vector<std::string> shown;
        std::istringstream in(r.out);
        detail = 0;
        for (std::string line; std::getline(in, line);) {
            EXPECT_THAT(line, testing::MatchesRegex("<[0-7]>.+"));
            line.rfind("<7>", 0) == 0 ? ++detail : (shown.push_back(line), detail);
        }
        return shown;
    };

    std::vector<std::string> shown = run(0);
    EXPECT_GT(detail, 0u);  // what the commands of the run print is there, at debug
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].rfind("<5>pull gate: 1 entries (0 ranges from earlier runs) into ", 0), 0u)
        << shown[0];
    // A run that fails (its recorder down): its one line an error.
    StopServer();
    shown = run(1);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].rfind("<3>pull gate: failed: ", 0), 0u) << shown[0];
}

// A damaged minute is fetched no better by a later run: the image of the rest stands under the
// run's name, verifies, and names what it lacks; the run fails, but keeps no range for the next.
TEST_F(CliPullTest, ARecordingsDamageFailsThePullButItsImageStandsAndNoRangeIsKept) {
    mkrec::RecorderPlan plan = Plan(600, 603, 2, 16, 16);
    plan.damagedMinutes = {{601, mkrec::Damage::kShortData}, {602, mkrec::Damage::kNoTable}};
    Record(plan);
    StartServer();
    Gate("range = 20100523 1000 1003");
    const RunResult damaged = Cli({"pull", "gate"});
    EXPECT_THAT(damaged, Out(1, "pull gate: 1 entries (0 ranges from earlier runs) into "));
    EXPECT_THAT(damaged.out,
                HasSubstr(", verified as partial; the recording is damaged, the image lacks "
                          "2010_05_23=10,00~10,03: camera 1, 10:01: the recording is "
                          "damaged: "));
    EXPECT_THAT(damaged.out, HasSubstr("(and 2 more)"));
    std::vector<fs::path> runs = Runs(images + "/gate");
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_NE(runs[0].extension(), ".incomplete");
    EXPECT_EQ(Sha256sumCheck(runs[0].string()), 0);
    EXPECT_TRUE(fs::exists(runs[0] / "2010_05_23=10,00~10,03/20100523/201005231003N.dat"));

    EXPECT_THAT(Cli({"pull", "gate"}),
                Out(1, "pull gate: 1 entries (0 ranges from earlier runs) into "));
    EXPECT_EQ(Runs(images + "/gate").size(), 2u);
}

namespace {

// A share server as a recorder stuck in its build looks: its answers relayed from the real
// server, except the image's status, which says "building" with nothing new, always.
class BuildingProxy : public LoopbackProxy {
  public:
    explicit BuildingProxy(int target) : LoopbackProxy(target) { Start(); }
    ~BuildingProxy() override { Stop(); }
    int statusAnswers() const { return statusAnswers_; }

  private:
    // Reads one message (its head, and a body of its Content-Length) from fd into out, with
    // what was read beyond it kept in rest; false once fd closed or the proxy stops.
    bool Message(int fd, std::string& rest, std::string& out) {
        for (pollfd p{fd, POLLIN, 0};;) {
            const std::size_t end = rest.find("\r\n\r\n"), at = rest.find("Content-Length:");
            const std::size_t size =
                end + 4 + (at < end ? std::strtoull(rest.c_str() + at + 15, nullptr, 10) : 0);
            if (end != std::string::npos && rest.size() >= size) {
                out = rest.substr(0, size);
                rest.erase(0, size);
                return true;
            }
            char buf[8192];
            while (!stopping() && ::poll(&p, 1, 100) <= 0) {
            }
            const ssize_t n = stopping() ? 0 : ::read(fd, buf, sizeof buf);
            if (n <= 0)
                return false;
            rest.append(buf, static_cast<std::size_t>(n));
        }
    }
    static bool Send(int fd, const std::string& bytes) {
        return ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
               static_cast<ssize_t>(bytes.size());
    }
    void Relay(int client, int server) override {
        std::string fromClient, fromServer, request, reply;
        while (Message(client, fromClient, request)) {
            const bool status = request.rfind("GET /v1/image/", 0) == 0;
            statusAnswers_ += status;
            if (status ? !Send(client,
                               "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n"
                               "Content-Length: 15\r\n\r\nstate building\n")
                       : !Send(server, request) || !Message(server, fromServer, reply) ||
                             !Send(client, reply))
                return;
        }
    }

    std::atomic<int> statusAnswers_{0};
};

}  // namespace

// A recorder whose build never gets on fails its run after the conf's build-stall, and keeps
// no other recorder's run waiting meanwhile.
TEST_F(CliPullTest, ARecorderStuckBuildingFailsItsPullAndHoldsUpNoOtherRecorder) {
    Record(Plan(600, 603, 1, 16, 16));
    StartServer();
    BuildingProxy stuck(port);
    // Both recorders are one server, the stuck one seen through the proxy: each has a range of
    // its own, as the server fetches an entry for one client at a time.
    const auto configure = [&](const std::string& name, int to, const std::string& range,
                               const std::string& stall) {
        Conf(name, "remote = 127.0.0.1:" + std::to_string(to) + "\nrange = " + range +
                       (stall.empty() ? "" : "\nbuild-stall = " + stall));
    };
    configure("stuck", stuck.port(), "20100523 1000 1001", "1 s");
    EXPECT_THAT(Cli({"pull", "stuck"}),
                Out(1, "the recorder has been building the image for 1 s without progress"));
    EXPECT_GT(stuck.statusAnswers(), 0);
    // The range stays for the next run, and no folder keeps a run's name.
    EXPECT_TRUE(fs::exists(prefix() + "/pull/stuck/pending-ranges"));
    for (const fs::path& run : Runs(images + "/stuck"))
        EXPECT_EQ(run.extension(), ".incomplete") << run;

    configure("stuck", stuck.port(), "20100523 1000 1001", "");  // the default: half an hour
    configure("healthy", port, "20100523 1002 1003", "");
    const RunningProgram waiting = StartCli({"pull", "stuck"}, "stuck");
    const int answered = stuck.statusAnswers();
    ASSERT_TRUE(WaitWhileRunning(waiting.pid, [&] { return stuck.statusAnswers() > answered; }));
    const RunningProgram healthy = StartCli({"pull", "healthy"}, "healthy");
    EXPECT_TRUE(WaitWhileRunning(waiting.pid, [&] { return Ended(healthy.pid); }));
    EXPECT_FALSE(Ended(waiting.pid));
    EXPECT_THAT(FinishProgram(healthy),
                Out(0, "pull healthy: 1 entries (0 ranges from earlier runs) into "));
    ::kill(waiting.pid, SIGKILL);
    FinishProgram(waiting);
}

// A copy that meets another one's lock is refused, or waits with --wait: meanwhile its
// arguments show no token.
TEST_F(CliPullTest, ATokenOnTheCommandLineIsWarnedOfAndBlankedInTheArguments) {
    if (!fs::exists("/proc/self/cmdline") || !fs::exists("/proc/locks"))
        GTEST_SKIP() << "no /proc to read the arguments and locks in";
    // Another copy holds the machine's lock: the command waits where its arguments can be read.
    platform::NamedLock::Attempt held = platform::NamedLock::Acquire("Backup", false);
    ASSERT_TRUE(held.lock);
    EXPECT_THAT(Cli({"list"}), Err(1, "another copy of Quillon Backup is running (pid " +
                                          std::to_string(::getpid()) + ")"));
    const RunningProgram run = StartCli({"--remote", "127.0.0.1:" + std::to_string(port), "--token",
                                         "tk-on-the-line", "--wait", "list"},
                                        "token");
    ASSERT_TRUE(WaitWhileRunning(
        run.pid, [&] { return LockWaiters(platform::RuntimeDir() + "/Backup.lock") == 1; }));
    std::ifstream in("/proc/" + std::to_string(run.pid) + "/cmdline", std::ios::binary);
    const std::string arguments((std::istreambuf_iterator<char>(in)), {});
    held.lock.reset();
    EXPECT_THAT(FinishProgram(run),
                Err(0,
                    "quillon-cli: --token shows the token to every user of this machine (ps); "
                    "give it with --token-file or QUILLON_SHARE_TOKEN instead"));
    EXPECT_THAT(arguments, AllOf(HasSubstr("--token"), Not(HasSubstr("tk-on-the-line")),
                                 HasSubstr(std::string(14, '*'))));
}
