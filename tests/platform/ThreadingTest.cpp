#include <sys/wait.h>
#include <unistd.h>

#include <atomic>

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

TEST(AutoResetEventTest, WakesOneWaitPerSignal) {
    AutoResetEvent event(true);
    event.Reset();
    EXPECT_FALSE(event.WaitFor(10));
    std::atomic<int> runs{0};
    auto worker = WorkerThread::Start([&] {
        for (int i = 0; i < 2; ++i) {
            event.Wait();
            ++runs;
        }
        return 7;
    });
    event.Set();
    while (runs.load() < 1)
        std::this_thread::yield();
    event.Set();
    worker->Join();
    EXPECT_EQ(runs.load(), 2);
    EXPECT_EQ(worker->result(), 7);
    EXPECT_FALSE(event.WaitFor(10));
}
