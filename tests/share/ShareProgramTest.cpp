// The quillon-share program, each case a real process run as an administrator runs it.
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <regex>
#include <sstream>

#include "CliRunner.h"
#include "ShareFixture.h"
#include "platform/TcpListener.h"

namespace {
const std::string kShareProgram = std::string(QUILLON_BIN_DIR) + "/quillon-share";

// The port the server prints once it listens on host (any host: 1); 0 when it ended without.
int ServedPort(const RunningProgram& p, const std::string& host = "127.0.0.1") {
    const std::string tag = " on " + host;
    std::string line;
    WaitUntil([&] {
        std::ifstream in(p.outPath);
        std::getline(in, line);
        siginfo_t ended{};  // looked at, not reaped: FinishProgram takes its status
        return line.find(tag) != std::string::npos ||
               (::waitid(P_PID, p.pid, &ended, WEXITED | WNOHANG | WNOWAIT) == 0 && ended.si_pid);
    });
    const std::size_t at = line.find(tag);
    return at == std::string::npos ? 0
           : host.empty()          ? 1
                                   : std::stoi(line.substr(at + tag.size() + 1));
}

// Answers 200 with the token's header, 401 without; 0 when nothing answered.
int IndexStatus(int port, const std::string& token) {
    httplib::Client http("127.0.0.1", port);
    if (!token.empty())
        http.set_bearer_token_auth(token);
    auto res = http.Post("/v1/index", "20100523", "text/plain");
    return res ? res->status : 0;
}

// Runs the program to its end: one that serves instead, as a refused start must not, is stopped.
RunResult RunToEnd(const std::vector<std::string>& args, const std::string& scratch,
                   const std::string& tag = "") {
    std::filesystem::remove(scratch + "/run" + tag + ".out");  // no earlier run's "serving" line
    const RunningProgram p = StartProgram(kShareProgram, args, scratch, 0, tag);
    if (ServedPort(p, "") > 0)
        ::kill(p.pid, SIGTERM);
    return FinishProgram(p);
}

RunResult Stop(const RunningProgram& p) {
    ::kill(p.pid, SIGTERM);
    return FinishProgram(p);
}
}  // namespace

using ShareProgramTest = ShareFixture;

TEST_F(ShareProgramTest, ServesAnImageToItsTokenOverHttpAndHttpsAndStopsCleanlyOnSigterm) {
    const TlsFiles tls = MakeTlsFiles(prefix());
    ASSERT_TRUE(tls.ok) << ReadText(prefix() + "/openssl.log");
    for (const bool secure : {false, true}) {
        SCOPED_TRACE(secure ? "HTTPS" : "HTTP");
        fs::remove_all(prefix() + "/drive_e/Backup");
        // Over HTTPS the token comes from a file only its user may read.
        const std::string file = Secret("share.token", "tk1-never-shown\n", 0600);
        std::vector<std::string> args{"--root",      driveC() + "/QorData", "--listen",
                                      "127.0.0.1:0", "--cameras",           "4",
                                      "--verbose"};
        if (secure)
            args.insert(args.end(), {"--tls-cert", tls.selfCert, "--tls-key", tls.selfKey,
                                     "--token-file", file});
        else
            args.insert(args.end(), {"--token", "tk1-never-shown"});
        const RunningProgram p = StartProgram(kShareProgram, args, prefix(), 0, secure ? "s" : "");
        const int port = ServedPort(p);
        ASSERT_GT(port, 0) << FinishProgram(p).err;
        share::TlsTrust trust = Trust(OpensslPin(tls.selfCert));
        trust.on = secure;
        EXPECT_EQ(
            ReadText(p.outPath).find("certificate pin " + trust.pin + "\n") != std::string::npos,
            secure);
        {
            share::HttpShareClient client("tk1-never-shown", trust);
            client.Connect("127.0.0.1", port);
            RecordingEvents events;
            const backup::FetchResult fetched = client.FetchEntry(Fetch(ImageRequest()), events);
            EXPECT_TRUE(fetched.fetched) << fetched.why;
            EXPECT_FALSE(NamesBelow(Downloaded()).empty());
        }
        // The pictures two ports below, under the same token and trust.
        share::HttpPictureSource pictures("127.0.0.1", port - 2, "tk1-never-shown",
                                          std::chrono::seconds(3), trust);
        EXPECT_EQ(pictures.Days(), std::vector<std::string>{kDay}) << pictures.LastProblem();
        EXPECT_EQ(secure ? 401 : IndexStatus(port, ""), 401);
        const RunResult r = Stop(p);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_TRUE(secure || r.err.find("POST /v1/index -> 401") != std::string::npos) << r.err;
        EXPECT_HAS(r.out, "serving C:\\QorData on 127.0.0.1:");
        for (const char* part : {"image 2010_05_23=10,00~10,03 for 127.0.0.1 built: ", "stopping",
                                 "building "})  // the last with --verbose
            EXPECT_HAS(r.err, part);
        // Said how it was given (every user's `ps` shows a command line), the token never.
        EXPECT_HAS(r.err, secure ? "the token from the token file " + file
                                 : std::string("warning: --token shows the token"));
        EXPECT_LACKS(r.err, "tk1-never-shown");
    }
}

TEST_F(ShareProgramTest, OffLoopbackPlainHttpMustBeAskedForAndACertificateNeedsItsKey) {
    auto open = [&](std::vector<std::string> more) {
        more.insert(more.begin(),
                    {"--root", "C:\\QorData", "--listen", "0.0.0.0:0", "--token", "t"});
        return more;
    };
    RunResult r = RunToEnd(open({}), prefix());
    EXPECT_EQ(r.status, 1);
    EXPECT_HAS(r.err, "in plain HTTP sends the token and the recordings across the network");
    EXPECT_EQ(r.out, "");
    r = RunToEnd(open({"--tls-cert", prefix() + "/cert.pem"}), prefix());  // the pair comes first
    EXPECT_EQ(r.status, 2);
    EXPECT_HAS(r.err, "tls-cert and tls-key go together");
    // Served off loopback in plain HTTP when asked for.
    const RunningProgram p =
        StartProgram(kShareProgram, open({"--insecure-http"}), prefix(), 0, "insecure");
    EXPECT_GT(ServedPort(p, "0.0.0.0"), 0) << FinishProgram(p).err;
    EXPECT_LACKS(ReadText(p.outPath), "certificate pin");
    EXPECT_EQ(Stop(p).status, 0);
}

// What each setting takes is ServeStartTest's; here how a refusal ends the program, and that the
// command line wins over the configuration file.
TEST_F(ShareProgramTest, AStartThatCannotServeIsRefusedNamingWhyAndAConfigLineByFileAndLine) {
    const std::string config = prefix() + "/share.conf";
    const std::string file = driveC() + "/NetBackupTemp";
    const std::string open = Secret("open.token", "tk-in-the-open\n", 0644);
    const auto refused = [&](std::vector<std::string> args, const std::string& line, int status,
                             const std::string& says) {
        SCOPED_TRACE(says);
        if (args.empty()) {
            // An address the command line replaces.
            WriteText(config, "root = C:\\QorData\nlisten = 127.0.0.1:1\n" + line + "\n");
            args = {"--config", config, "--listen", "127.0.0.1:0"};
        }
        const RunResult r = RunToEnd(args, prefix());
        EXPECT_EQ(r.status, status);
        EXPECT_EQ(r.out, "");
        EXPECT_HAS(r.err, says);
        EXPECT_LACKS(r.err, "tk-in-the-open");
    };
    // Where the images are built taken by a file (made for this case alone, before any other
    // start could make the folder).
    WriteText(file, "a file where the folder goes");
    refused({"--root", "C:\\QorData", "--listen", "127.0.0.1:0"}, "", 1,
            "error: the working folder C:\\NetBackupTemp\\Reserved (" + file +
                "/Reserved), where the images are built, cannot be made: " + file +
                " is a file, not a folder");
    fs::remove(file);
    refused({}, "colour = blue", 2, "error: " + config + ":3: unknown key \"colour\"");
    // A certificate (beside the file) that is missing stops the start, never serves plain.
    refused({}, "tls-cert = cert.pem\ntls-key = key.pem", 1, prefix() + "/cert.pem");
    refused({"--root", "C:\\QorData", "--listen", "127.0.0.1:0", "--token-file", open}, "", 1,
            "error: the token file " + open + " may be read or changed by others (mode 0644)");
}

TEST_F(ShareProgramTest, OnTheJournalsStreamEachLineCarriesItsLevelAndElsewhereNone) {
    const std::string err = prefix() + "/runjournal.err";
    WriteText(err, "");  // the program's stderr keeps this file's inode
    struct stat st {};
    ASSERT_EQ(::stat(err.c_str(), &st), 0);
    const std::string stream = std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
    RunResult r;
    {
        ScopedEnv journal("JOURNAL_STREAM", stream);
        fs::remove(prefix() + "/runjournal.out");  // no earlier run's "serving" line
        const RunningProgram p = StartProgram(
            kShareProgram, {"--root", "C:\\QorData", "--cameras", "4", "--listen", "127.0.0.1:0"},
            prefix(), 0, "journal");
        const int port = ServedPort(p);
        ASSERT_GT(port, 0) << FinishProgram(p).err;
        EXPECT_EQ(IndexStatus(port, ""), 200);
        r = Stop(p);
    }
    ASSERT_FALSE(r.err.empty());
    std::istringstream said(r.err);
    for (std::string line; std::getline(said, line);)
        EXPECT_TRUE(std::regex_match(line, std::regex("<[3-7]>[^<].*"))) << line;
    // Each a line's start; the answers at the default level.
    for (const char* start : {"<5>started", "<4>no token: every user", "<5>Terminated, stopping",
                              "<6>127.0.0.1 POST /v1/index -> 200"})
        EXPECT_HAS("\n" + r.err, std::string("\n") + start);
    // A start that fails is an error there; the variable inherited by a program whose stderr
    // went elsewhere gives plain lines.
    const auto refusedUnder = [&](const std::string& value) {
        ScopedEnv journal("JOURNAL_STREAM", value);
        return RunToEnd({"--root", "C:\\QorData", "--listen", "0.0.0.0:0"}, prefix(), "journal");
    };
    r = refusedUnder(stream);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.rfind("<3>listening on 0.0.0.0 lets other machines in", 0), 0u) << r.err;
    r = refusedUnder(std::to_string(st.st_dev) + ":1");
    EXPECT_EQ(r.err.rfind("quillon-share: error: listening on 0.0.0.0", 0), 0u) << r.err;
}

TEST_F(ShareProgramTest, APicturePortInUseIsNamedBesideThePortGiven) {
    // A loopback listener of the test, on a port with the one two above it free.
    platform::TcpListener held;
    for (int attempt = 0; attempt < 50 && !held.IsOpen(); ++attempt) {
        platform::TcpListener probe;
        if (held.Listen("127.0.0.1", 0) &&
            !(held.port() <= 65533 && probe.Listen("127.0.0.1", held.port() + 2)))
            held.Close();
    }
    ASSERT_TRUE(held.IsOpen());
    const std::string given = "127.0.0.1:" + std::to_string(held.port() + 2);
    const RunResult r = RunToEnd({"--root", "C:\\QorData", "--listen", given}, prefix());
    EXPECT_EQ(r.status, 1);
    EXPECT_HAS(r.err, "cannot serve the preview's pictures on 127.0.0.1:" +
                          std::to_string(held.port()) + ", the port two below " + given);
}
