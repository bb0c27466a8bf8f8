// The tool's own files replaced by things that are not files: nothing waits on a pipe, and the
// operator is told which file is wrong. Memos are shown, never obeyed, by the terminal.
#include <sys/stat.h>

#include <csignal>
#include <filesystem>

#include "CliFixture.h"

namespace fs = std::filesystem;

class CliOwnFilesTest : public CliFixture {
  protected:
    void SetUp() override {
        CliFixture::SetUp();
        UseBuiltData();
        RecordSmallDay(602);
    }
    // Runs the CLI; a run still going after the guard is killed and counts as hung (-1).
    RunResult Bounded(const std::vector<std::string>& args) {
        const RunningProgram run = StartProgram(cli, WithBase(args), prefix());
        WaitWhileRunning(run.pid, [] { return false; });
        if (!Ended(run.pid))
            ::kill(run.pid, SIGKILL);
        RunResult r = FinishProgram(run);
        if (r.status == 128 + SIGKILL)
            r.status = -1;
        return r;
    }
    std::string cli = CliPath();
};

TEST_F(CliOwnFilesTest, APipeInPlaceOfAFileOfTheToolIsNamedAndNothingHangs) {
    ASSERT_EQ(Cli({"add", "20100523", "1000", "1001", "--cams", "all"}).status, 0);
    // A copy of the program beside data of its own, whose language file can be replaced.
    const std::string program = prefix() + "/program";
    fs::create_directories(program);
    for (const char* item : {"quillon-cli", "GUIS", "Other", "Language.eng"})
        fs::copy(std::string(QUILLON_BIN_DIR) + "/" + item, program + "/" + item,
                 fs::copy_options::recursive);
    cli = program + "/quillon-cli";
    for (const std::string& path :
         {prefix() + "/drives.ini", prefix() + "/registry.ini", program + "/Language.eng"}) {
        SCOPED_TRACE(path);
        const std::string kept = path + ".kept";
        if (fs::exists(path))
            fs::rename(path, kept);
        ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
        for (const char* command : {"days", "list"}) {
            const RunResult r = Bounded({command});
            EXPECT_EQ(r.status, 1) << command << r.out << r.err;
            EXPECT_NE(r.err.find(path + " is a named pipe, not a file"), std::string::npos)
                << r.err;
        }
        fs::remove(path);
        if (fs::exists(kept))
            fs::rename(kept, path);
    }
    // The saved schedule as a folder: set aside and said, not taken for an empty schedule.
    fs::rename(base + "/Reserved/reserve.dat", base + "/reserve.saved");
    fs::create_directories(base + "/Reserved/reserve.dat");
    const RunResult folder = Bounded({"list"});
    EXPECT_NE(folder.err.find("it is a folder, not a file"), std::string::npos) << folder.err;
    EXPECT_TRUE(fs::is_directory(base + "/Reserved/reserve.dat.damaged"));
}

TEST_F(CliOwnFilesTest, AMemoCannotSteerTheTerminalAndTheGeneratorsHelpWritesNothing) {
    ASSERT_EQ(Cli({"add", "20100523", "1000", "1001", "--cams", "all", "--memo",
                   "gate\x1b]0;owned\x07\x1b[2J"})
                  .status,
              0);
    const RunResult list = Cli({"list"});
    EXPECT_EQ(list.out.find('\x1b'), std::string::npos) << list.out;
    EXPECT_EQ(list.out.find('\x07'), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("memo: gate\\x1b]0;owned\\x07\\x1b[2J"), std::string::npos) << list.out;

    const std::string fresh = prefix() + "/fresh";
    for (const char* option : {"--help", "--version"}) {
        const RunResult r = RunProgram("/bin/sh",
                                       {"-c", "QUILLON_PREFIX='" + fresh + "' '" + QUILLON_BIN_DIR +
                                                  "/quillon-mkrec' " + option},
                                       prefix());
        EXPECT_EQ(r.status, 0) << option << r.err;
        EXPECT_NE(r.out.find("quillon-mkrec"), std::string::npos) << option;
        EXPECT_FALSE(fs::exists(fresh)) << option;  // no registry.ini, no folder for it
    }
}
