// quillon as a program under a virtual X server: its window is titled "Backup", with and without
// a launch string, and a second copy ends at once without a window.
#include <fcntl.h>
#include <poll.h>
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

// A child process with an environment of its own; stdout and stderr go to files named after
// log in scratch. keepFd stays open in the child for it to answer on.
pid_t Spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env,
            const std::string& scratch, const std::string& log, int keepFd = -1) {
    const pid_t pid = fork();
    if (pid == 0) {
        for (const auto& e : env)
            ::putenv(const_cast<char*>(e.c_str()));
        if (!std::freopen((scratch + "/" + log + ".out").c_str(), "w", stdout) ||
            !std::freopen((scratch + "/" + log + ".err").c_str(), "w", stderr))
            _exit(127);
        if (keepFd >= 0)
            ::fcntl(keepFd, F_SETFD, 0);
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
        // The server picks a display nobody uses, also in the abstract socket space other
        // machines' containers may share, and names it once it takes connections.
        int ready[2];
        ASSERT_EQ(::pipe2(ready, O_CLOEXEC), 0);
        xvfb = Spawn({"Xvfb", "-displayfd", std::to_string(ready[1]), "-screen", "0",
                      "1280x1024x24", "-nolisten", "tcp"},
                     {}, prefix(), "xvfb", ready[1]);
        ::close(ready[1]);
        std::string number;
        pollfd p{ready[0], POLLIN, 0};
        char c = 0;
        while (::poll(&p, 1, 30000) == 1 && ::read(ready[0], &c, 1) == 1 && c != '\n')
            number += c;
        ::close(ready[0]);
        ASSERT_FALSE(number.empty()) << "Xvfb did not start: " << ReadText(prefix() + "/xvfb.err");
        display = ":" + number;
        env = {"DISPLAY=" + display, "QT_QPA_PLATFORM=xcb"};
        base = prefix() + "/base";
        std::filesystem::create_directories(base);
        // A writer, so that no box of a missing one (titled "Backup" too) joins the window.
        WriteText(prefix() + "/drives.ini",
                  "[D:]\nType=cdrom\nDevice=stdio:" + prefix() + "/disc-d.iso\n");
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
        return Spawn(argv, env, prefix(), "quillon" + std::to_string(++started));
    }
    // What the last program started said, and whether it still runs: why a window is missing.
    std::string LastWords(pid_t pid) {
        int status = 0;
        const std::string state = ::waitpid(pid, &status, WNOHANG) == pid
                                      ? "it ended with status " + std::to_string(status)
                                      : "it still runs";
        return state +
               "; it said: " + ReadText(prefix() + "/quillon" + std::to_string(started) + ".err");
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
    int started = 0;
};

TEST_F(QuillonProcessTest, TheWindowIsTitledBackupAndASecondCopyEndsAtOnce) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{}, std::vector<std::string>{"1648A,16,1,N,,7004,eng,"}}) {
        const pid_t first = StartQuillon(args);
        ASSERT_TRUE(WindowsBecome(1, 20)) << "no window titled Backup: " << LastWords(first);
        const pid_t second = StartQuillon(args);
        EXPECT_EQ(WaitFor(second, 20), 0);  // silently, and without a window of its own
        EXPECT_EQ(BackupWindows(display), 1);
        ::kill(first, SIGTERM);
        EXPECT_NE(WaitFor(first, 10), -1);
        ASSERT_TRUE(WindowsBecome(0, 10));
    }
}
