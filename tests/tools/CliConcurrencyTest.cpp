// Two operators at one base folder: every copy of quillon-cli that uses it holds the "Backup"
// lock, so that a second one is refused with the holder named, or waits its turn, and no entry is
// lost to another copy's clean-up; a lock that cannot be used is said as such.
#include <stdlib.h>

#include "CliDay.h"

namespace {

const std::string kAnotherCopy = "another copy of Quillon Backup is running";

// True when /proc/locks shows pid waiting for a lock that another process holds.
bool WaitsForALock(pid_t pid) {
    std::ifstream locks("/proc/locks");
    for (std::string line; std::getline(locks, line);)
        if (line.find(" -> ") != std::string::npos &&
            line.find(" " + std::to_string(pid) + " ") != std::string::npos)
            return true;
    return false;
}
}  // namespace

class CliConcurrencyTest : public UsbCliFixture {};

TEST_F(CliConcurrencyTest, AnAddDuringABackupIsRefusedWithTheHolderNamedOrWaitsItsTurn) {
    RecordLargeDay();
    ASSERT_EQ(Add("1000", "1011").status, 0);
    const RunningProgram backup =
        StartCli({"backup", "--folder", "E:\\Backup", "--no-progress"}, "-backup");
    const std::string minute = Image("2010_05_23=10,00~10,11") + Name(0);
    ASSERT_TRUE(WaitWhileRunning(
        backup.pid, [&] { return fs::exists(minute + "N.dat") || fs::exists(minute + "N.idx"); }));
    // Held where it is, the backup keeps its lock for as long as the test needs.
    ASSERT_TRUE(Pause(backup.pid)) << "the pass ended before it could be held";

    EXPECT_THAT(Add("1000", "1000", "1"),
                Err(1, kAnotherCopy + " (pid " + std::to_string(backup.pid) +
                           "); run this again when it has finished, or add --wait"));
    EXPECT_THAT(Cli({"list"}), Err(1, kAnotherCopy));
    // A copy of another user has a lock folder of its own; the base folder still keeps it out.
    ::setenv("QUILLON_RUNTIME_DIR", (prefix() + "/run-other").c_str(), 1);
    const RunResult other = Add("1000", "1000", "1");
    ::setenv("QUILLON_RUNTIME_DIR", (prefix() + "/run").c_str(), 1);
    EXPECT_THAT(other, Err(1, kAnotherCopy));

    const RunningProgram waiter =
        StartCli({"add", kDay, "1005", "1006", "--cams", "2", "--wait"}, "-waiter");
    EXPECT_TRUE(WaitWhileRunning(waiter.pid, [&] { return WaitsForALock(waiter.pid); }))
        << "the waiting add did not wait for the lock";
    Resume(backup.pid);
    EXPECT_THAT(FinishProgram(backup), Ok());
    EXPECT_THAT(FinishProgram(waiter), Ok());
    // The backup's clean-up came before the waiting add: its entry is the schedule now.
    const RunResult list = Cli({"list"});
    EXPECT_THAT(list, Ok());
    std::set<std::string> labels;
    std::istringstream lines(list.out);
    for (std::string line; std::getline(lines, line);)
        if (line.size() > 26 && line[0] == '2')  // an entry's row, not the closing total
            labels.insert(line.substr(0, 26));
    EXPECT_EQ(labels, std::set<std::string>{"2010-05-23 - 10:05 ~ 10:06"});
    EXPECT_TRUE(fs::exists(base + "/Reserved/2010_05_23=10,05~10,06/BackupInfo.dat"));
}

TEST_F(CliConcurrencyTest, ALockThatCannotBeUsedIsAnErrorOfItsOwn) {
    Record(Plan(600, 601, 2));
    // The lock folder below a plain file, then a lock file that is a folder.
    WriteText(prefix() + "/plain", "not a folder");
    fs::create_directories(prefix() + "/odd/Backup.lock");
    for (const std::string& runtime : {prefix() + "/plain/locks", prefix() + "/odd"}) {
        SCOPED_TRACE(runtime);
        ::setenv("QUILLON_RUNTIME_DIR", runtime.c_str(), 1);
        const RunResult add = Add("1000", "1001");
        EXPECT_THAT(add, Err(1, "cannot be used"));
        EXPECT_THAT(add.err, AllOf(HasSubstr(runtime), Not(HasSubstr(kAnotherCopy))));
        EXPECT_FALSE(fs::exists(base + "/Reserved"));
        const RunResult waiting = Cli({"list", "--wait"});  // nothing to wait for, either
        EXPECT_EQ(waiting.status, 1);
        EXPECT_THAT(waiting.err, Not(HasSubstr(kAnotherCopy)));
    }
}
