#include "platform/ChildProcess.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace platform {
namespace {

// The argument vector execv takes, pointing into copies, which must outlive it.
std::vector<char*> ArgumentVector(std::vector<std::string>& copies) {
    std::vector<char*> argv;
    for (auto& a : copies)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    return argv;
}

}  // namespace

bool ChildProcess::Start(const std::string& program, const std::vector<std::string>& args,
                         const std::string& failureNote) {
    // Everything the child needs is made before the fork: between fork and exec a process of
    // several threads may not allocate.
    std::vector<std::string> copies = args;
    std::vector<char*> argv = ArgumentVector(copies);
    const pid_t pid = ::fork();
    if (pid < 0)
        return false;
    if (pid == 0) {
        ::execv(program.c_str(), argv.data());
        std::perror(failureNote.c_str());
        ::_exit(kNotRun);
    }
    pid_ = pid;
    return true;
}

void ChildProcess::AskToEnd() {
    if (pid_ > 0)
        ::kill(pid_, SIGTERM);
}

int ChildProcess::Wait() {
    if (pid_ <= 0)
        return -1;
    int status = 0;
    pid_t done;
    while ((done = ::waitpid(pid_, &status, 0)) < 0 && errno == EINTR) {
    }
    pid_ = -1;
    if (done < 0)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::string RunInstead(const std::string& program, const std::vector<std::string>& args) {
    std::vector<std::string> copies = args;
    std::vector<char*> argv = ArgumentVector(copies);
    ::execv(program.c_str(), argv.data());
    return std::strerror(errno);
}

}  // namespace platform
