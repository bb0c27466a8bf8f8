// What `cmake --install --prefix` lays out, and the installed programs run from there as an
// operator runs them, writing nothing below the install.
#include <stdlib.h>

#include <filesystem>
#include <set>

#include "CliRunner.h"
#include "TestEnv.h"

namespace fs = std::filesystem;

namespace {

std::string gRoot;  // the temporary folder of the install
std::string gUsr;   // its prefix
RunResult gInstall;

const std::string kDay = "20100523";

bool HasLine(const std::string& text, const std::string& line) {
    return ("\n" + text).find("\n" + line + "\n") != std::string::npos;
}

}  // namespace

class InstallTest : public TempPrefixTest {
  protected:
    static void SetUpTestSuite() {
        std::string tmpl = (fs::temp_directory_path() / "quillon-install-XXXXXX").string();
        gRoot = ::mkdtemp(tmpl.data());
        gUsr = gRoot + "/usr";
        gInstall =
            RunProgram(CMAKE_COMMAND, {"--install", QUILLON_BUILD_DIR, "--prefix", gUsr}, gRoot);
    }
    static void TearDownTestSuite() {
        std::error_code ec;
        fs::remove_all(gRoot, ec);
    }
    void SetUp() override {
        TempPrefixTest::SetUp();
        ASSERT_EQ(gInstall.status, 0) << gInstall.out << gInstall.err;
    }
    RunResult Installed(const std::string& program, const std::vector<std::string>& args) {
        return RunProgram(gUsr + "/bin/" + program, args, prefix());
    }
    static std::vector<std::string> Programs() {
        std::vector<std::string> programs = {"quillon-cli", "quillon-host", "quillon-mkrec"};
#ifdef QUILLON_INSTALLS_SHARE
        programs.push_back("quillon-share");
#endif
#ifdef QUILLON_INSTALLS_WINDOW
        programs.push_back("quillon");
#endif
        return programs;
    }
};

TEST_F(InstallTest, ProgramsDataAndConfigurationLieWhereTheProgramsLookForThem) {
    std::set<std::string> bin, programs;
    for (const auto& e : fs::directory_iterator(gUsr + "/bin"))
        bin.insert(e.path().filename().string());
    for (const std::string& program : Programs())
        programs.insert(program);
    // The programs and nothing else: no generator, no test, no data beside them.
    EXPECT_EQ(bin, programs);

    // The data as the build tree has it beside its programs, every file of data/ among it.
    const auto data = FilesBelow(gUsr + "/share/quillon");
    for (const auto& [path, bytes] : FilesBelow(std::string(QUILLON_SOURCE_DIR) + "/data")) {
        ASSERT_TRUE(data.count(path)) << path;
        EXPECT_TRUE(data.at(path) == bytes) << path;
    }
    for (const auto& [path, bytes] : data)
        EXPECT_TRUE(fs::is_regular_file(std::string(QUILLON_BIN_DIR) + "/" + path)) << path;

    // The configuration goes into the etc/ beside a prefix that ends in usr/, as / has it: the
    // install stays inside its folder. (Where each other file lies the package test checks.)
    EXPECT_TRUE(fs::is_regular_file(gRoot + "/etc/quillon/pull.d/example.conf.sample"));
#ifdef QUILLON_INSTALLS_SHARE
    EXPECT_TRUE(fs::is_regular_file(gRoot + "/etc/quillon/share.conf"));
#endif
}

TEST_F(InstallTest, TheInstalledCliBacksUpWithItsWorkingFolderInTheMachinePrefix) {
    const auto installed = EntriesBelow(gUsr);
    const std::string usb = MapDrive('E', "removable");
    RunResult r = Installed("quillon-mkrec", {"--root", "C:\\QorData", "--days", kDay, "--from",
                                              "1000", "--to", "1004", "--cameras", "4", "--size",
                                              "32x24", "--audio", "2", "--audio-bytes", "3000"});
    ASSERT_EQ(r.status, 0) << r.err;
    // The installed quillon-cli with four cameras: its status, and all it said in r.
    auto Cli = [&](std::vector<std::string> args) {
        args.insert(args.begin(), {"--cameras", "4"});
        return (r = Installed("quillon-cli", args)).status;
    };

    ASSERT_EQ(Cli({"info"}), 0) << r.err;
    const std::string base = prefix() + "/base";
    EXPECT_TRUE(HasLine(r.out, "data folder " + fs::canonical(gUsr).string() + "/share/quillon"))
        << r.out;
    EXPECT_TRUE(HasLine(r.out, "base folder " + base)) << r.out;

    ASSERT_EQ(Cli({"add", kDay, "1000", "1004", "--cams", "all", "--memo", "front door"}), 0)
        << r.err;
    ASSERT_EQ(Cli({"add", kDay, "1001", "1003", "--cams", "2,4"}), 0) << r.err;
    // The schedule and each entry's files are kept in the prefix.
    EXPECT_TRUE(fs::is_regular_file(base + "/Reserved/reserve.dat"));
    EXPECT_TRUE(fs::is_regular_file(base + "/Reserved/2010_05_23=10,00~10,04/BackupInfo.dat"));
    ASSERT_EQ(Cli({"list"}), 0) << r.err;
    EXPECT_NE(r.out.find("2010-05-23 - 10:00 ~ 10:04"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("2010-05-23 - 10:01 ~ 10:03"), std::string::npos) << r.out;

    ASSERT_EQ(Cli({"--no-progress", "backup", "--folder", "E:\\Backup", "--viewer"}), 0)
        << r.out << r.err;
    const std::string rec = driveC() + "/QorData/" + kDay + "/";
    const std::string image = usb + "/Backup/2010_05_23=10,00~10,04/" + kDay + "/";
    for (const char* minute : {"201005231000N.dat", "201005231004N.idx"})
        EXPECT_TRUE(ReadText(image + minute) == ReadText(rec + minute)) << minute;
    EXPECT_TRUE(fs::is_directory(usb + "/Backup/2010_05_23=10,01~10,03/" + kDay));
    // The viewer came from the installed data through the base folder.
    const auto viewer = FilesBelow(usb + "/BackupViewer");
    ASSERT_FALSE(viewer.empty());
    for (const auto& [path, bytes] : viewer) {
        if (path == "Viewer.ini")
            continue;  // written by the backup
        EXPECT_TRUE(ReadText(gUsr + "/share/quillon/Other/" + path) == bytes) << path;
    }
    // The backup cleared the schedule, and the install is as it was laid out.
    Cli({"list"});
    EXPECT_EQ(r.out.find("2010-05-23"), std::string::npos) << r.out;
#ifdef QUILLON_INSTALLS_VIDEO
    // The installed quillon-cli finds the installed maker of MP4 files, which it hands them to.
    EXPECT_TRUE(fs::is_regular_file(gUsr + "/libexec/quillon/quillon-cli-video"));
    ASSERT_EQ(Cli({"add", kDay, "1000", "1000", "--cams", "2"}), 0);
    ASSERT_EQ(Cli({"--no-progress", "backup", "--folder", "E:\\Video", "--mp4"}), 0)
        << r.out << r.err;
    EXPECT_TRUE(fs::is_regular_file(usb + "/Video/2010_05_23=10,00~10,00/Video/"
                                          "2010-05-23_1000-1000_cam02.mp4"));
#endif
    EXPECT_EQ(EntriesBelow(gUsr), installed);
}

TEST_F(InstallTest, TheProgramsSayTheProjectsVersionAndTheirManualPagesToo) {
    ::unsetenv("DISPLAY");
    ::unsetenv("WAYLAND_DISPLAY");
    ::unsetenv("QT_QPA_PLATFORM");
    for (const std::string& program : Programs()) {
        const RunResult r = Installed(program, {"--version"});
        EXPECT_EQ(r.status, 0) << program << r.err;
        EXPECT_EQ(r.out, program + " " QUILLON_VERSION "\n");
        const RunResult page = RunProgram(
            "/bin/sh", {"-c", "gzip -dc " + gUsr + "/share/man/man1/" + program + ".1.gz"},
            prefix());
        // Its name and synopsis; that it renders without a warning, lintian says of the package.
        for (const std::string& part :
             std::vector<std::string>{"\"Quillon Backup " QUILLON_VERSION "\"",
                                      ".SH NAME\n" + program + " \\- ", ".SH SYNOPSIS\n"})
            EXPECT_NE(page.out.find(part), std::string::npos) << program << ": " << part;
    }
}

TEST_F(InstallTest, ShellCompletionOffersCommandsOptionsAndTheDiscWriters) {
    MapDrive('D', "cdrom");
    MapDrive('E', "removable");
    MapDrive('F', "cdrom");
    const std::string script =
        "source " + gUsr + "/share/bash-completion/completions/quillon-cli\n" +
        R"(t() { COMP_WORDS=("$@"); COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); _quillon_cli
               echo "$*|${COMPREPLY[*]}"; }
           complete -p quillon-cli
           t quillon-cli ba
           t quillon-cli --base /tmp v
           t quillon-cli backup --v
           t quillon-cli backup --disc ''
           t quillon-cli erase --disc ''
           t quillon-cli --wait key ''
           t quillon-cli verify --d
           t quillon-cli add 20100523 1000 1004 --cams a
           t quillon-cli --date-type 7 --no-p
        )";
    const RunResult r = RunProgram("/bin/bash", {"-c", script}, prefix());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "complete -F _quillon_cli quillon-cli\n"
              "quillon-cli ba|backup\n"
              "quillon-cli --base /tmp v|verify\n"
              "quillon-cli backup --v|--viewer --version\n"
              "quillon-cli backup --disc |D: F:\n"
              "quillon-cli erase --disc |D: F:\n"
              "quillon-cli --wait key |create\n"
              "quillon-cli verify --d|--disc --deep --date-type\n"
              "quillon-cli add 20100523 1000 1004 --cams a|all\n"
              "quillon-cli --date-type 7 --no-p|--no-progress\n");
}
