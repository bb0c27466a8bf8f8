// quillon-share run as an administrator runs it, each case a real process: the token from a
// file (refused unless only its user may read it), the environment or the service's credential;
// a configuration file, its errors named by file and line, the command line winning over it; a
// working folder it cannot write refused at the start, saying which and why; the journal's level
// prefixes; and a picture port in use named beside the port that was given.
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

class ShareOperationTest : public ShareFixture {
  protected:
    RunningProgram Start(std::vector<std::string> args, const std::string& tag = "") {
        args.insert(args.begin(), {"--root", "C:\\QorData", "--cameras", "4"});
        // An earlier run's "serving" line must not be taken for this one's.
        fs::remove(prefix() + "/run" + tag + ".out");
        return StartProgram(kShareProgram, args, prefix(), 0, tag);
    }
    RunResult Run(std::vector<std::string> args) { return FinishProgram(Start(std::move(args))); }
};

TEST_F(ShareOperationTest, ATokenFileOthersMayReadStopsTheStartAndTheTokenIsNeverShown) {
    const std::string file = Secret("share.token", std::string(kToken) + "\n", 0644);
    RunResult r = Run({"--listen", "127.0.0.1:0", "--token-file", file});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(
        r.err.find("the token file " + file + " may be read or changed by others (mode 0644)"),
        std::string::npos)
        << r.err;
    EXPECT_EQ(r.err.find(kToken), std::string::npos) << r.err;

    fs::create_symlink(file, prefix() + "/linked.token");
    ::chmod(file.c_str(), 0600);
    r = Run({"--listen", "127.0.0.1:0", "--token-file", prefix() + "/linked.token"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("is a symbolic link"), std::string::npos) << r.err;

    // Made private, it serves its token only; without --verbose every refusal is still said.
    const RunningProgram p = Start({"--listen", "127.0.0.1:0", "--token-file", file});
    const int port = ServedPort(p);
    ASSERT_GT(port, 0) << FinishProgram(p).err;
    EXPECT_EQ(IndexStatus(port, ""), 401);
    EXPECT_EQ(IndexStatus(port, "tk-wrong"), 401);
    EXPECT_EQ(IndexStatus(port, kToken), 200);
    r = Stop(p);
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string refused = "quillon-share: warning: 127.0.0.1 POST /v1/index -> 401";
    const std::vector<std::string> lines = LinesOf(r.err);
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [&](const std::string& l) { return l.rfind(refused, 0) == 0; }),
              2)
        << r.err;
    EXPECT_NE(r.err.find("127.0.0.1 POST /v1/index -> 200"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("the token from the token file " + file), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find(kToken), std::string::npos) << r.err;
}

TEST_F(ShareOperationTest, TheTokenComesFromTheFileGivenElseTheVariableElseTheCredential) {
    const std::string credentials = prefix() + "/credentials";
    Secret("credentials/token", "tk-from-the-credential\n", 0400);
    ScopedEnv folder("CREDENTIALS_DIRECTORY", credentials);
    struct Case {
        const char* variable;  // QUILLON_SHARE_TOKEN, or none
        bool file;             // --token-file given
        const char* served;    // the token the server asks for
        const char* refused;   // another source's token, which it must not take
    };
    const Case cases[] = {
        {nullptr, false, "tk-from-the-credential", kToken},
        {"tk-from-the-variable", false, "tk-from-the-variable", "tk-from-the-credential"},
        {"tk-from-the-variable", true, kToken, "tk-from-the-variable"},
    };
    const std::string file = Secret("share.token", kToken, 0600);
    for (const Case& c : cases) {
        ScopedEnv variable("QUILLON_SHARE_TOKEN", c.variable);
        std::vector<std::string> args{"--listen", "127.0.0.1:0"};
        if (c.file)
            args.insert(args.end(), {"--token-file", file});
        const RunningProgram p = Start(args);
        const int port = ServedPort(p);
        ASSERT_GT(port, 0) << FinishProgram(p).err;
        EXPECT_EQ(IndexStatus(port, c.served), 200) << c.served;
        EXPECT_EQ(IndexStatus(port, c.refused), 401) << c.refused;
        const RunResult r = Stop(p);
        EXPECT_EQ(r.err.find(c.served), std::string::npos) << r.err;
    }
}

TEST_F(ShareOperationTest, WithoutAnyTokenOnlyLoopbackServesAndItSaysSo) {
    ScopedEnv noVariable("QUILLON_SHARE_TOKEN", nullptr);
    ScopedEnv noCredentials("CREDENTIALS_DIRECTORY", nullptr);
    const RunningProgram p = Start({"--listen", "127.0.0.1:0"});
    const int port = ServedPort(p);
    ASSERT_GT(port, 0) << FinishProgram(p).err;
    EXPECT_EQ(IndexStatus(port, ""), 200);
    const RunResult r = Stop(p);
    EXPECT_NE(r.err.find("warning: no token: every user and program of this machine"),
              std::string::npos)
        << r.err;
    const RunResult open = Run({"--listen", "0.0.0.0:0"});
    EXPECT_EQ(open.status, 1);
    EXPECT_NE(open.err.find("error: listening on 0.0.0.0 lets other machines in"),
              std::string::npos)
        << open.err;
}

TEST_F(ShareOperationTest, TheConfigurationFileIsReadAndTheCommandLineWinsOverIt) {
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
    EXPECT_NE(r.err.find("127.0.0.1:1 leaves no room for the preview's pictures"),
              std::string::npos)
        << r.err;

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
    EXPECT_NE(r.err.find("the token from the token file " + prefix() + "/etc/share.token"),
              std::string::npos)
        << r.err;
    // verbose = no in the file, --verbose on the command line: the build's files are listed.
    EXPECT_NE(r.err.find("building "), std::string::npos) << r.err;
}

TEST_F(ShareOperationTest, AWrongConfigurationLineIsNamedByFileAndLineAndNothingStarts) {
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
        EXPECT_NE(r.err.find("error: " + config + c.says), std::string::npos) << c.line << "\n"
                                                                              << r.err;
        EXPECT_EQ(r.err.find("tk-in-the-open"), std::string::npos) << r.err;
    }
    const RunResult missing =
        RunProgram(kShareProgram, {"--config", prefix() + "/none.conf"}, prefix());
    EXPECT_EQ(missing.status, 2);
    EXPECT_NE(missing.err.find("the configuration file " + prefix() + "/none.conf does not exist"),
              std::string::npos)
        << missing.err;
    // The certificate is taken from the file, beside it: one that is missing stops the start
    // rather than serving without TLS, and one that is there is served with its pin printed.
    WriteText(config, "root = C:\\QorData\ntls-cert = cert.pem\ntls-key = key.pem\n");
    const RunResult none =
        RunProgram(kShareProgram, {"--config", config, "--listen", "127.0.0.1:0"}, prefix());
    EXPECT_EQ(none.status, 1);
    EXPECT_NE(none.err.find(prefix() + "/cert.pem"), std::string::npos) << none.err;
    const TlsFiles tls = MakeTlsFiles(prefix());
    ASSERT_TRUE(tls.ok);
    WriteText(config, "root = C:\\QorData\ntls-cert = " + tls.selfCert +
                          "\ntls-key = " + tls.selfKey + "\n");
    const RunningProgram p =
        StartProgram(kShareProgram, {"--config", config, "--listen", "127.0.0.1:0"}, prefix());
    EXPECT_GT(ServedPort(p), 0);
    ::kill(p.pid, SIGTERM);
    const RunResult served = FinishProgram(p);
    EXPECT_NE(served.out.find("HTTPS, certificate pin " + OpensslPin(tls.selfCert)),
              std::string::npos)
        << served.out << served.err;
}

TEST_F(ShareOperationTest, AWorkingFolderItCannotWriteStopsTheStartNamingTheFolderAndWhy) {
    // Where the images are built taken by a file.
    WriteText(driveC() + "/NetBackupTemp", "a file where the folder goes");
    RunResult r = Run({"--listen", "127.0.0.1:0"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("error: the working folder C:\\NetBackupTemp\\Reserved (" + driveC() +
                         "/NetBackupTemp/Reserved), where the images are built, cannot be made: " +
                         driveC() + "/NetBackupTemp is a file, not a folder"),
              std::string::npos)
        << r.err;
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
    EXPECT_NE(r.err.find("the working folder C:\\NetBackupTemp\\Reserved (" + home +
                         "/.local/share/quillon/drive_c/NetBackupTemp/Reserved)"),
              std::string::npos)
        << r.err;
    EXPECT_NE(
        r.err.find("QUILLON_PREFIX is not set, so the prefix is " + home + "/.local/share/quillon"),
        std::string::npos)
        << r.err;

    // A drive that takes no writes at all, where this machine lets the test mount one.
    if (MountTinyDrive('C', "size=64k", true).empty())
        return;
    r = Run({"--listen", "127.0.0.1:0"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("the working folder C:\\NetBackupTemp\\Reserved"), std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("Read-only file system"), std::string::npos) << r.err;
}

TEST_F(ShareOperationTest, OnTheJournalsStreamEachLineCarriesItsLevelAndElsewhereNone) {
    const std::string file = Secret("share.token", kToken, 0600);
    const std::string err = prefix() + "/runjournal.err";
    WriteText(err, "");  // the program's stderr keeps this file's inode
    struct stat st {};
    ASSERT_EQ(::stat(err.c_str(), &st), 0);
    const std::string stream = std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
    RunResult r;
    {
        ScopedEnv journal("JOURNAL_STREAM", stream);
        const RunningProgram p =
            Start({"--listen", "127.0.0.1:0", "--token-file", file}, "journal");
        const int port = ServedPort(p);
        ASSERT_GT(port, 0) << FinishProgram(p).err;
        EXPECT_EQ(IndexStatus(port, "tk-wrong"), 401);
        EXPECT_EQ(IndexStatus(port, kToken), 200);
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
    EXPECT_TRUE(has("<4>127.0.0.1 POST /v1/index -> 401")) << r.err;
    EXPECT_TRUE(has("<6>127.0.0.1 POST /v1/index -> 200")) << r.err;
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

TEST_F(ShareOperationTest, APicturePortInUseIsNamedBesideThePortGiven) {
    const HeldPort held;
    ASSERT_GT(held.port(), 0);
    const std::string given = "127.0.0.1:" + std::to_string(held.port() + 2);
    RunResult r = Run({"--listen", given});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("cannot serve the preview's pictures on 127.0.0.1:" +
                         std::to_string(held.port()) + ", the port two below " + given),
              std::string::npos)
        << r.err;
    r = Run({"--listen", "127.0.0.1:2"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("127.0.0.1:2 leaves no room for the preview's pictures"),
              std::string::npos)
        << r.err;
}
