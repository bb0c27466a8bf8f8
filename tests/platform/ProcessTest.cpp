// Child processes, the process's signals, locks held across processes, and the events threads
// wait on.
#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <filesystem>
#include <thread>

#include "TestEnv.h"
#include "platform/ChildExit.h"
#include "platform/ChildProcess.h"
#include "platform/HostFiles.h"
#include "platform/NamedLock.h"
#include "platform/Signals.h"
#include "platform/Threading.h"
#include "share/Has.h"

using namespace platform;

class ChildProcessTest : public TempPrefixTest {};

TEST_F(ChildProcessTest, ExitCodeArgumentsAProgramThatCannotRunAndAnEndAsked) {
    ChildProcess child;
    EXPECT_FALSE(child.Started());
    EXPECT_EQ(child.Wait(), -1);
    const std::string out = prefix() + "/args";
    ASSERT_TRUE(child.Start(
        "/bin/sh", {"sh", "-c", "echo \"$0|$1\" > \"$2\"; exit 3", "a b", "c", out}, "test"));
    EXPECT_TRUE(child.Started());
    EXPECT_EQ(child.Wait(), 3);
    EXPECT_EQ(ReadText(out), "a b|c\n") << "each argument reaches the program as it is";
    EXPECT_EQ(child.Wait(), -1) << "waited for already";

    ChildProcess missing;
    ASSERT_TRUE(missing.Start(prefix() + "/no-such-program", {"x"}, "the note"));
    EXPECT_EQ(missing.Wait(), ChildProcess::kNotRun);

    ChildProcess asked;
    ASSERT_TRUE(asked.Start("/bin/sleep", {"sleep", "30"}, "test"));
    asked.AskToEnd();
    EXPECT_EQ(asked.Wait(), 128 + SIGTERM) << "asked to end, it ends by the signal";
}

// The signals change the whole process, so each case runs in a child of its own.
TEST(SignalsDeathTest, StopSignalReachesTheWaiterEvenFromAThreadStartedLater) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            HoldStopSignals();
            // Started after the hold, the thread holds them too: a signal to the process
            // while it runs is left pending for the wait, rather than ending the process.
            std::thread([] { ::kill(::getpid(), SIGINT); }).join();
            std::exit(WaitForStopSignal() == "Interrupt" ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
    EXPECT_EXIT(
        {
            HoldStopSignals();
            std::raise(SIGTERM);
            std::exit(WaitForStopSignal() == "Terminated" ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(SignalsDeathTest, BrokenPipeIsAnErrorNotTheEnd) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            IgnoreBrokenPipes();
            std::raise(SIGPIPE);
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "");
    // The twin without it: the same raise ends the process, so the case above proves the
    // ignore.
    EXPECT_EXIT(std::raise(SIGPIPE), ::testing::KilledBySignal(SIGPIPE), "");
}

class NamedLockTest : public TempPrefixTest {};

TEST_F(NamedLockTest, SecondHolderIsRefusedUntilTheFirstIsGone) {
    auto first = NamedLock::TryAcquire("Backup");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(NamedLock::TryAcquire("Backup"), nullptr);
    EXPECT_NE(NamedLock::TryAcquire("Other"), nullptr);
    // Another process asks while we hold it: refused at once.
    EXPECT_EQ(ExitOfChild([] { return NamedLock::TryAcquire("Backup") ? 0 : 3; }), 3);
    first.reset();
    // A holder that dies without letting go frees the lock with it.
    EXPECT_EQ(ExitOfChild([] {
                  auto held = NamedLock::TryAcquire("Backup");
                  ::_exit(held ? 0 : 1);  // exits while holding it
                  return 1;
              }),
              0);
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
    EXPECT_HAS(attempt.problem, "cannot be used");
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
