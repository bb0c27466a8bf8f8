// quillon as a program under a virtual X server: its window is titled "Backup", with and without
// a launch string, and a second copy ends at once without a window.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <thread>

#include "CliRunner.h"
#include "TestEnv.h"

namespace {

using Clock = std::chrono::steady_clock;

// A child process with an environment of its own; stdout and stderr go to files in scratch.
pid_t Spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env,
            const std::string& scratch) {
    const pid_t pid = fork();
    if (pid == 0) {
        for (const auto& e : env)
            ::putenv(const_cast<char*>(e.c_str()));
        std::freopen((scratch + "/child.out").c_str(), "w", stdout);
        std::freopen((scratch + "/child.err").c_str(), "w", stderr);
        std::vector<char*> args;
        for (const auto& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        ::execvp(args[0], args.data());
        _exit(127);
    }
    return pid;
}

// How many top-level windows of the display are titled "Backup".
int BackupWindows(const std::string& display) {
    const std::string cmd = "DISPLAY=" + display + " xwininfo -root -tree 2>/dev/null";
    FILE* p = ::popen(cmd.c_str(), "r");
    if (!p)
        return -1;
    int n = 0;
    char line[1024];
    while (std::fgets(line, sizeof line, p))
        if (std::strstr(line, "\"Backup\""))
            ++n;
    ::pclose(p);
    return n;
}

// Waits up to seconds for the process to end; its exit status, or -1 when it still runs.
int WaitFor(pid_t pid, int seconds) {
    const auto end = Clock::now() + std::chrono::seconds(seconds);
    while (Clock::now() < end) {
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return -1;
}

}  // namespace

class QuillonProcessTest : public TempPrefixTest {
  protected:
    void SetUp() override {
        TempPrefixTest::SetUp();
        if (::access("/usr/bin/Xvfb", X_OK) != 0 || ::access("/usr/bin/xwininfo", X_OK) != 0)
            GTEST_SKIP() << "no virtual X server (Xvfb, xwininfo) on this machine";
        for (int n = 91; n < 120 && display.empty(); ++n)
            if (::access(("/tmp/.X11-unix/X" + std::to_string(n)).c_str(), F_OK) != 0 &&
                ::access(("/tmp/.X" + std::to_string(n) + "-lock").c_str(), F_OK) != 0)
                display = ":" + std::to_string(n);
        xvfb = Spawn({"Xvfb", display, "-screen", "0", "1280x1024x24", "-nolisten", "tcp"}, {},
                     prefix());
        const auto end = Clock::now() + std::chrono::seconds(10);
        while (BackupWindows(display) < 0 ||
               ::access(("/tmp/.X11-unix/X" + display.substr(1)).c_str(), F_OK) != 0) {
            ASSERT_LT(Clock::now(), end) << "Xvfb did not start";
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        env = {"DISPLAY=" + display, "QT_QPA_PLATFORM=xcb"};
        base = prefix() + "/base";
        std::filesystem::create_directories(base);
    }
    void TearDown() override {
        if (xvfb > 0) {
            ::kill(xvfb, SIGTERM);
            WaitFor(xvfb, 5);
        }
        TempPrefixTest::TearDown();
    }
    pid_t StartQuillon(const std::vector<std::string>& args) {
        std::vector<std::string> argv = {std::string(QUILLON_BIN_DIR) + "/quillon"};
        argv.insert(argv.end(), args.begin(), args.end());
        argv.insert(argv.end(), {"--base", base});
        return Spawn(argv, env, prefix());
    }
    // Waits until the display shows count windows titled "Backup".
    bool WindowsBecome(int count, int seconds) {
        const auto end = Clock::now() + std::chrono::seconds(seconds);
        while (Clock::now() < end) {
            if (BackupWindows(display) == count)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return false;
    }

    std::string display, base;
    std::vector<std::string> env;
    pid_t xvfb = -1;
};

TEST_F(QuillonProcessTest, TheWindowIsTitledBackupAndASecondCopyEndsAtOnce) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{}, std::vector<std::string>{"1648A,16,1,N,,7004,eng,"}}) {
        const pid_t first = StartQuillon(args);
        ASSERT_TRUE(WindowsBecome(1, 20)) << "no window titled Backup";
        const pid_t second = StartQuillon(args);
        EXPECT_EQ(WaitFor(second, 20), 0);  // silently, and without a window of its own
        EXPECT_EQ(BackupWindows(display), 1);
        ::kill(first, SIGTERM);
        EXPECT_NE(WaitFor(first, 10), -1);
        ASSERT_TRUE(WindowsBecome(0, 10));
    }
}
