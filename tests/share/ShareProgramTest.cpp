// The quillon-share program, each case a real process run as an administrator runs it: an image
// fetched through it by a client with its token (over HTTPS too, its pin printed) and a clean
// stop on SIGTERM; the token from a file only its user may read, never shown; a public address
// refused without a token, and without TLS unless plain HTTP is asked for; a configuration file,
// its errors named by file and line, the command line winning over it; a working folder it
// cannot write refused at the start; the journal's level prefixes; and a picture port in use.
#include <arpa/inet.h>
#include <httplib.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <regex>
#include <sstream>

#include "ScopedEnv.h"
#include "ShareFixture.h"
#include "ShareProgram.h"
#include "TlsFiles.h"
#include "share/HttpPictureSource.h"
#include "share/HttpShareClient.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kToken = "tk-9f2c-operators-own";

// Answers 200 with the token's header, 401 without; 0 when nothing answered.
int IndexStatus(int port, const std::string& token) {
    httplib::Client http("127.0.0.1", port);
    if (!token.empty())
        http.set_bearer_token_auth(token);
    auto res = http.Post("/v1/index", "20100523", "text/plain");
    return res ? res->status : 0;
}

RunResult Stop(const RunningProgram& p) {
    ::kill(p.pid, SIGTERM);
    return FinishProgram(p);
}

std::vector<std::string> LinesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// A loopback port held by a listener of the test, with the port two above it free.
class HeldPort {
  public:
    HeldPort() {
        for (int attempt = 0; attempt < 50 && port_ == 0; ++attempt) {
            fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in a{};
            a.sin_family = AF_INET;
            a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            socklen_t size = sizeof a;
            if (::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
                ::listen(fd_, 4) != 0 ||
                ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &size) != 0) {
                ::close(fd_);
                continue;
            }
            const int held = ntohs(a.sin_port);
            if (held <= 65533 && Free(held + 2))
                port_ = held;
            else
                ::close(fd_);
        }
    }
    ~HeldPort() {
        if (port_)
            ::close(fd_);
    }
    int port() const { return port_; }

  private:
    static bool Free(int port) {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<std::uint16_t>(port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const bool free = ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
        ::close(fd);
        return free;
    }
    int fd_ = -1;
    int port_ = 0;
};

}  // namespace

class ShareProgramTest : public ShareFixture {
  protected:
    RunningProgram Start(std::vector<std::string> args, const std::string& tag = "") {
        args.insert(args.begin(), {"--root", "C:\\QorData", "--cameras", "4"});
        // An earlier run's "serving" line must not be taken for this one's.
        fs::remove(prefix() + "/run" + tag + ".out");
        return StartProgram(kShareProgram, args, prefix(), 0, tag);
    }
    RunResult Run(std::vector<std::string> args) { return FinishProgram(Start(std::move(args))); }
    // One image fetched through client from the server on port, with no answer that ended the
    // chain: the names of what arrived.
    std::vector<std::string> FetchImage(share::HttpShareClient& client, int port) {
        RecordingReceiver receiver;
        client.Connect("127.0.0.1", port, &receiver);
        DriveChain(client, receiver);
        client.ReqSetAddBackupDataPath(ImageRequest());
        receiver.WaitFor(share::kCodeDeleted);
        receiver.onAnswer = nullptr;
        const auto codes = receiver.Codes();
        EXPECT_EQ(std::count(codes.begin(), codes.end(), 7ul), 0);
        client.Connect("127.0.0.1", port, nullptr);  // the receiver goes before the client
        return NamesBelow(Downloaded());
    }
};

TEST_F(ShareProgramTest, ServesAnImageToItsTokenOnlyAndStopsCleanlyOnSigterm) {
    const RunningProgram p =
        StartProgram(kShareProgram,
                     {"--root", driveC() + "/QorData", "--listen", "127.0.0.1:0", "--token",
                      "tk1-never-shown", "--cameras", "4", "--verbose"},
                     prefix());
    const int port = ServedPort(p);
    ASSERT_GT(port, 0) << FinishProgram(p).err;
    httplib::Client stranger("127.0.0.1", port);
    auto refused = stranger.Post("/v1/index", kDay, "text/plain");
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->status, 401);
    {
        share::HttpShareClient client("tk1-never-shown");
        const auto got = FetchImage(client, port);
        EXPECT_FALSE(got.empty());
        for (const auto& name : got)
            EXPECT_LACKS(name, ".quillon-part");
        EXPECT_FALSE(std::filesystem::exists(ServerImage()));
    }
    ::kill(p.pid, SIGTERM);
    const RunResult r = FinishProgram(p);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_HAS(r.out, "serving C:\\QorData on 127.0.0.1:");
    EXPECT_HAS(r.err, "POST /v1/index -> 401");
    EXPECT_HAS(r.err, "image 2010_05_23=10,00~10,03 for 127.0.0.1 built: ");
    EXPECT_HAS(r.err, "building ");  // --verbose
    // Said how it was given, which every user's `ps` shows; the token itself never.
    EXPECT_HAS(r.err, "warning: --token shows the token");
    EXPECT_LACKS(r.err, "tk1-never-shown");
    EXPECT_HAS(r.err, "stopping");
}

TEST_F(ShareProgramTest, ServesHttpsOnBothPortsToItsPinAndPrintsThatPin) {
    const TlsFiles tls = MakeTlsFiles(prefix());
    ASSERT_TRUE(tls.ok) << ReadText(prefix() + "/openssl.log");
    const RunningProgram p =
        StartProgram(kShareProgram,
                     {"--root", driveC() + "/QorData", "--listen", "127.0.0.1:0", "--token", "tk1",
                      "--cameras", "4", "--tls-cert", tls.selfCert, "--tls-key", tls.selfKey},
                     prefix());
    const int port = ServedPort(p);
    ASSERT_GT(port, 0) << FinishProgram(p).err;
    const std::string pin = OpensslPin(tls.selfCert);
    EXPECT_HAS(ReadText(p.outPath), "certificate pin " + pin + "\n");
    share::TlsTrust trust;
    trust.on = true;
    trust.pin = pin;
    {
        share::HttpShareClient client("tk1", trust);
        EXPECT_FALSE(FetchImage(client, port).empty());
    }
    share::HttpPictureSource pictures("127.0.0.1", port - 2, "tk1", std::chrono::seconds(3), trust);
    EXPECT_EQ(pictures.Days(), std::vector<std::string>{kDay}) << pictures.LastProblem();
    ::kill(p.pid, SIGTERM);
    EXPECT_EQ(FinishProgram(p).status, 0);
}

TEST_F(ShareProgramTest, OffLoopbackPlainHttpMustBeAskedForAndACertificateNeedsItsKey) {
    const TlsFiles tls = MakeTlsFiles(prefix());
    ASSERT_TRUE(tls.ok) << ReadText(prefix() + "/openssl.log");
    const std::vector<std::string> open{"--root",    "C:\\QorData", "--listen",
                                        "0.0.0.0:0", "--token",     "t"};
    auto with = [&](std::vector<std::string> more) {
        more.insert(more.begin(), open.begin(), open.end());
        return more;
    };
    RunResult r = RunProgram(kShareProgram, open, prefix());
    EXPECT_EQ(r.status, 1);
    EXPECT_HAS(r.err, "in plain HTTP sends the token and the recordings across the network");
    EXPECT_HAS(r.err, "--insecure-http");
    EXPECT_EQ(r.out, "");
    r = RunProgram(kShareProgram, with({"--tls-cert", tls.selfCert}), prefix());
    EXPECT_EQ(r.status, 2);
    EXPECT_HAS(r.err, "tls-cert and tls-key go together");
    r = RunProgram(kShareProgram, with({"--tls-cert", tls.selfCert, "--tls-key", tls.signedKey}),
                   prefix());
    EXPECT_EQ(r.status, 1);
    EXPECT_HAS(r.err, "is not the key of the certificate");
    // Served off loopback over HTTPS, or in plain HTTP when asked for.
    for (const bool secure : {false, true}) {
        SCOPED_TRACE(secure ? "HTTPS" : "--insecure-http");
        const RunningProgram p =
            StartProgram(kShareProgram,
                         with(secure ? std::vector<std::string>{"--tls-cert", tls.selfCert,
                                                                "--tls-key", tls.selfKey}
                                     : std::vector<std::string>{"--insecure-http"}),
                         prefix(), 0, secure ? "https" : "insecure");
        const int port = ServedPort(p, "0.0.0.0");
        EXPECT_GT(port, 0) << FinishProgram(p).err;
        if (port == 0)
            continue;
        EXPECT_EQ(ReadText(p.outPath).find("certificate pin") != std::string::npos, secure);
        ::kill(p.pid, SIGTERM);
        EXPECT_EQ(FinishProgram(p).status, 0);
    }
}

TEST_F(ShareProgramTest, ATokenFileOthersMayReadStopsTheStartAndTheTokenIsNeverShown) {
    const std::string file = Secret("share.token", std::string(kToken) + "\n", 0644);
    RunResult r = Run({"--listen", "127.0.0.1:0", "--token-file", file});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_HAS(r.err, "the token file " + file + " may be read or changed by others (mode 0644)");
    EXPECT_LACKS(r.err, kToken);
    // Made private, it serves its token only.
    ::chmod(file.c_str(), 0600);
    const RunningProgram p = Start({"--listen", "127.0.0.1:0", "--token-file", file});
    const int port = ServedPort(p);
    ASSERT_GT(port, 0) << FinishProgram(p).err;
    EXPECT_EQ(IndexStatus(port, ""), 401);
    EXPECT_EQ(IndexStatus(port, "tk-wrong"), 401);
    EXPECT_EQ(IndexStatus(port, kToken), 200);
    r = Stop(p);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_HAS(r.err, "127.0.0.1 POST /v1/index -> 200");
    EXPECT_HAS(r.err, "the token from the token file " + file);
    EXPECT_LACKS(r.err, kToken);
}

TEST_F(ShareProgramTest, WithoutAnyTokenOnlyLoopbackServesAndItSaysSo) {
    ScopedEnv noVariable("QUILLON_SHARE_TOKEN", nullptr);
    ScopedEnv noCredentials("CREDENTIALS_DIRECTORY", nullptr);
    const RunningProgram p = Start({"--listen", "127.0.0.1:0"});
    const int port = ServedPort(p);
    ASSERT_GT(port, 0) << FinishProgram(p).err;
    EXPECT_EQ(IndexStatus(port, ""), 200);
    const RunResult r = Stop(p);
    EXPECT_HAS(r.err, "warning: no token: every user and program of this machine");
    const RunResult open = Run({"--listen", "0.0.0.0:0"});
    EXPECT_EQ(open.status, 1);
    EXPECT_HAS(open.err, "error: listening on 0.0.0.0 lets other machines in: give a token");
    EXPECT_EQ(open.out, "");
    const RunResult rootless = RunProgram(kShareProgram, {"--listen", "127.0.0.1:0"}, prefix());
    EXPECT_EQ(rootless.status, 2);
    EXPECT_HAS(rootless.err, "--root is required");
}

TEST_F(ShareProgramTest, TheConfigurationFileIsReadAndTheCommandLineWinsOverIt) {
    Secret("etc/share.token", kToken, 0600);
    // An address the command line must replace: on its own it could not start.
    const std::string config = prefix() + "/etc/share.conf";
    WriteText(config,
              "# quillon-share\n"
              "\n"
              "root = C:\\QorData\n"
              "  listen = 127.0.0.1:1   \n"
              "token-file = share.token\n"  // beside the file
              "cameras = 4\r\n"
              "image-idle = 20\n"
              "keep-free = 5\n"
              "verbose = no\n"
              "insecure-http = no\n");
    RunResult r = FinishProgram(StartProgram(kShareProgram, {"--config", config}, prefix()));
    EXPECT_EQ(r.status, 2);
    EXPECT_HAS(r.err, "127.0.0.1:1 leaves no room for the preview's pictures");
    fs::remove(prefix() + "/run.out");
    const RunningProgram p = StartProgram(
        kShareProgram, {"--config", config, "--listen", "127.0.0.1:0", "--verbose"}, prefix());
    const int port = ServedPort(p);
    ASSERT_GT(port, 0) << FinishProgram(p).err;
    EXPECT_EQ(IndexStatus(port, ""), 401);
    EXPECT_EQ(IndexStatus(port, kToken), 200);
    httplib::Client http("127.0.0.1", port);
    http.set_bearer_token_auth(kToken);
    ASSERT_EQ(BuildImage(http).state, share::JobState::kDone);
    r = Stop(p);
    EXPECT_HAS(r.err, "the token from the token file " + prefix() + "/etc/share.token");
    // verbose = no in the file, --verbose on the command line: the build's files are listed.
    EXPECT_HAS(r.err, "building ");
}

TEST_F(ShareProgramTest, AWrongConfigurationLineIsNamedByFileAndLineAndNothingStarts) {
    const std::string config = prefix() + "/share.conf";
    struct Case {
        std::string line;
        std::string says;
    };
    const Case cases[] = {
        {"listen 127.0.0.1:7004", ":3: expected KEY = VALUE"},
        {"colour = blue", ":3: unknown key \"colour\" (the keys are root, listen, token-file"},
        {"quiet = yes", ":3: unknown key \"quiet\""},
        {"token = tk-in-the-open", ":3: the token does not belong in the configuration"},
        {"cameras = 65", ":3: cameras takes a whole number from 1 to 64, not 65"},
        {"cameras = 4x", ":3: cameras takes a whole number from 1 to 64, not 4x"},
        {"image-idle = 0", ":3: image-idle takes minutes above 0"},
        {"keep-free = 101", ":3: keep-free takes a percentage from 0 to 100"},
        {"verbose = maybe", ":3: verbose takes yes or no, not maybe"},
        {"listen = 127.0.0.1", ":3: listen takes ADDRESS:PORT"},
        {"token-file =", ":3: token-file has no value"},
        {"root = C:\\Other", ":3: root is given again (first on line 1)"},
    };
    for (const Case& c : cases) {
        WriteText(config, "root = C:\\QorData\n# the line below\n" + c.line + "\n");
        const RunResult r =
            RunProgram(kShareProgram, {"--config", config, "--listen", "127.0.0.1:0"}, prefix());
        EXPECT_EQ(r.status, 2) << c.line;
        EXPECT_EQ(r.out, "") << c.line;
        EXPECT_HAS(r.err, "error: " + config + c.says) << c.line << "\n" << r.err;
        EXPECT_LACKS(r.err, "tk-in-the-open");
    }
    const RunResult missing =
        RunProgram(kShareProgram, {"--config", prefix() + "/none.conf"}, prefix());
    EXPECT_EQ(missing.status, 2);
    EXPECT_HAS(missing.err, "the configuration file " + prefix() + "/none.conf does not exist");
    // The certificate is taken from the file, beside it: one that is missing stops the start
    // rather than serving without TLS.
    WriteText(config, "root = C:\\QorData\ntls-cert = cert.pem\ntls-key = key.pem\n");
    const RunResult none =
        RunProgram(kShareProgram, {"--config", config, "--listen", "127.0.0.1:0"}, prefix());
    EXPECT_EQ(none.status, 1);
    EXPECT_HAS(none.err, prefix() + "/cert.pem");
}

TEST_F(ShareProgramTest, AWorkingFolderItCannotWriteStopsTheStartNamingTheFolderAndWhy) {
    // Where the images are built taken by a file.
    WriteText(driveC() + "/NetBackupTemp", "a file where the folder goes");
    RunResult r = Run({"--listen", "127.0.0.1:0"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_HAS(r.err, "error: the working folder C:\\NetBackupTemp\\Reserved (" + driveC() +
                          "/NetBackupTemp/Reserved), where the images are built, cannot be made: " +
                          driveC() + "/NetBackupTemp is a file, not a folder");
    fs::remove(driveC() + "/NetBackupTemp");
    // A service user without a home it may write: the default prefix lies below that home.
    const std::string home = prefix() + "/home-is-a-file";
    WriteText(home, "");
    {
        ScopedEnv noPrefix("QUILLON_PREFIX", nullptr);
        ScopedEnv fileHome("HOME", home);
        r = Run({"--listen", "127.0.0.1:0", "--root", driveC() + "/QorData"});
    }
    EXPECT_EQ(r.status, 1);
    EXPECT_HAS(r.err, "the working folder C:\\NetBackupTemp\\Reserved (" + home +
                          "/.local/share/quillon/drive_c/NetBackupTemp/Reserved)");
    EXPECT_HAS(r.err,
               "QUILLON_PREFIX is not set, so the prefix is " + home + "/.local/share/quillon");
    // A drive that takes no writes at all, where this machine lets the test mount one.
    if (MountTinyDrive('C', "size=64k", true).empty())
        return;
    r = Run({"--listen", "127.0.0.1:0"});
    EXPECT_EQ(r.status, 1);
    EXPECT_HAS(r.err, "the working folder C:\\NetBackupTemp\\Reserved");
    EXPECT_HAS(r.err, "Read-only file system");
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
        const RunningProgram p = Start({"--listen", "127.0.0.1:0"}, "journal");
        ASSERT_GT(ServedPort(p), 0) << FinishProgram(p).err;
        r = Stop(p);
    }
    const std::vector<std::string> lines = LinesOf(r.err);
    ASSERT_FALSE(lines.empty());
    const std::regex levelled("<[3-7]>[^<].*");
    for (const auto& line : lines)
        EXPECT_TRUE(std::regex_match(line, levelled)) << line;
    auto has = [&](const std::string& start) {
        return std::any_of(lines.begin(), lines.end(),
                           [&](const std::string& l) { return l.rfind(start, 0) == 0; });
    };
    EXPECT_TRUE(has("<5>started")) << r.err;
    EXPECT_TRUE(has("<4>no token: every user")) << r.err;
    EXPECT_TRUE(has("<5>Terminated, stopping")) << r.err;
    // A start that fails is an error there.
    {
        ScopedEnv journal("JOURNAL_STREAM", stream);
        r = FinishProgram(Start({"--listen", "0.0.0.0:0"}, "journal"));
    }
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.rfind("<3>listening on 0.0.0.0 lets other machines in", 0), 0u) << r.err;
    // The variable inherited by a program whose stderr went elsewhere: plain lines.
    {
        ScopedEnv journal("JOURNAL_STREAM", std::to_string(st.st_dev) + ":1");
        r = FinishProgram(Start({"--listen", "0.0.0.0:0"}, "journal"));
    }
    EXPECT_EQ(r.err.rfind("quillon-share: error: listening on 0.0.0.0", 0), 0u) << r.err;
}

TEST_F(ShareProgramTest, APicturePortInUseIsNamedBesideThePortGiven) {
    const HeldPort held;
    ASSERT_GT(held.port(), 0);
    const std::string given = "127.0.0.1:" + std::to_string(held.port() + 2);
    RunResult r = Run({"--listen", given});
    EXPECT_EQ(r.status, 1);
    EXPECT_HAS(r.err, "cannot serve the preview's pictures on 127.0.0.1:" +
                          std::to_string(held.port()) + ", the port two below " + given);
    r = Run({"--listen", "127.0.0.1:2"});
    EXPECT_EQ(r.status, 2);
    EXPECT_HAS(r.err, "127.0.0.1:2 leaves no room for the preview's pictures");
}
