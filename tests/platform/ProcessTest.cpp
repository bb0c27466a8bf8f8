// Child processes and the process's signals.
#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <csignal>
#include <thread>

#include "TestEnv.h"
#include "platform/ChildProcess.h"
#include "platform/HostFiles.h"
#include "platform/Signals.h"

using namespace platform;

class ChildProcessTest : public TempPrefixTest {};

TEST_F(ChildProcessTest, ExitCodeArgumentsAndAProgramThatCannotRun) {
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
}

TEST_F(ChildProcessTest, AskedToEndItEndsBySignal) {
    ChildProcess child;
    ASSERT_TRUE(child.Start("/bin/sleep", {"sleep", "30"}, "test"));
    child.AskToEnd();
    EXPECT_EQ(child.Wait(), 128 + SIGTERM);
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
