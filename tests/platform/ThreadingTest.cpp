#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>

#include "TestEnv.h"
#include "platform/NamedLock.h"
#include "platform/Threading.h"

using namespace platform;

class NamedLockTest : public TempPrefixTest {};

TEST_F(NamedLockTest, SecondHolderIsRefusedUntilTheFirstIsGone) {
    auto first = NamedLock::TryAcquire("Backup");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(NamedLock::TryAcquire("Backup"), nullptr);
    EXPECT_NE(NamedLock::TryAcquire("Other"), nullptr);
    // Another process asks while we hold it: refused at once.
    pid_t child = ::fork();
    if (child == 0)
        _exit(NamedLock::TryAcquire("Backup") ? 0 : 3);
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_EQ(WEXITSTATUS(status), 3);
    first.reset();
    // A holder that dies without letting go frees the lock with it.
    child = ::fork();
    if (child == 0) {
        auto held = NamedLock::TryAcquire("Backup");
        _exit(held ? 0 : 1);  // exits while holding it
    }
    ::waitpid(child, &status, 0);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_NE(NamedLock::TryAcquire("Backup"), nullptr);
}

// A link where the lock file belongs is never opened: what it leads to would be truncated for the
// holder's number.
TEST_F(NamedLockTest, ALinkWhereTheLockBelongsIsRefusedAndWhatItLeadsToIsKept) {
    const std::string runtime = prefix() + "/run";
    std::filesystem::create_directories(runtime);
    WriteText(prefix() + "/victim", "precious");
    std::filesystem::create_symlink(prefix() + "/victim", runtime + "/Backup.lock");
    const NamedLock::Attempt attempt = NamedLock::Acquire("Backup", false);
    EXPECT_EQ(attempt.lock, nullptr);
    EXPECT_NE(attempt.problem.find("cannot be used"), std::string::npos) << attempt.problem;
    EXPECT_EQ(ReadText(prefix() + "/victim"), "precious");
}

TEST(AutoResetEventTest, WakesOneWaitPerSignal) {
    AutoResetEvent event(true), ran(false);
    event.Reset();
    EXPECT_FALSE(event.WaitFor(10));
    std::atomic<int> runs{0};
    auto worker = WorkerThread::Start([&] {
        for (int i = 0; i < 2; ++i) {
            event.Wait();
            ++runs;
            ran.Set();
        }
        return 7;
    });
    event.Set();
    ASSERT_TRUE(ran.WaitFor(kHangGuardMs));
    EXPECT_EQ(runs.load(), 1);  // the one signal was taken by the one wait
    event.Set();
    worker->Join();
    EXPECT_EQ(runs.load(), 2);
    EXPECT_EQ(worker->result(), 7);
    EXPECT_FALSE(event.WaitFor(10));
}
