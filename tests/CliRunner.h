#pragma once
// Runs a program of the build with arguments, in the test's machine prefix, and hands back its
// exit status and what it printed. A byte limit on the files it writes stands in for a full
// target where no small filesystem can be mounted. StartProgram and FinishProgram run several
// at once, or let a test act on a program while it runs.
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

struct RunResult {
    int status = -1;
    std::string out, err;
};

struct RunningProgram {
    pid_t pid = -1;
    std::string outPath, errPath;
};

// In the child, with its output in place: becomes the program. One that never ends (it serves
// where it should have refused) is ended by the alarm after the tests' hang guard, and reads as
// killed (142) instead of holding the test for good.
[[noreturn]] inline void ExecProgram(const std::string& program,
                                     const std::vector<std::string>& args) {
    ::alarm(10 * 60);
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(program.c_str(), argv.data());
    _exit(127);
}

// Waits for the child to end; one killed by a signal gives 128 + the signal.
inline int ExitStatusOf(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

inline std::string FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// The folder of a run's output files: scratch, or without one a folder of this process's own,
// since test programs that run at once must not write into each other's files.
inline std::string RunScratch(const std::string& scratch) {
    if (!scratch.empty())
        return scratch;
    const std::string own = "/tmp/quillon-run-" + std::to_string(::getpid());
    ::mkdir(own.c_str(), 0700);
    return own;
}

// tag keeps the output files of programs that run at the same time apart.
inline RunningProgram StartProgram(const std::string& program, const std::vector<std::string>& args,
                                   const std::string& scratch, long fileSizeLimit = 0,
                                   const std::string& tag = "") {
    const std::string folder = RunScratch(scratch);
    RunningProgram p{-1, folder + "/run" + tag + ".out", folder + "/run" + tag + ".err"};
    p.pid = fork();
    if (p.pid == 0) {
        int out = ::open(p.outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int err = ::open(p.errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(out, 1);
        ::dup2(err, 2);
        if (fileSizeLimit > 0) {
            // Left as a shell leaves it: the program itself must turn a write past the limit
            // into a failed write rather than be killed.
            ::signal(SIGXFSZ, SIG_DFL);
            rlimit lim{static_cast<rlim_t>(fileSizeLimit), static_cast<rlim_t>(fileSizeLimit)};
            ::setrlimit(RLIMIT_FSIZE, &lim);
        }
        ExecProgram(program, args);
    }
    return p;
}

inline RunResult FinishProgram(const RunningProgram& p) {
    const int status = ExitStatusOf(p.pid);
    return {status, FileBytes(p.outPath), FileBytes(p.errPath)};
}

// The program with stdout and stderr both appended to the one file at path, as a service's
// are to the journal's stream: the file keeps its inode, which JOURNAL_STREAM may name. What
// the run added is in out.
inline RunResult RunProgramIntoOneFile(const std::string& program,
                                       const std::vector<std::string>& args,
                                       const std::string& path) {
    const pid_t pid = fork();
    if (pid == 0) {
        const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND);
        ::dup2(fd, 1);
        ::dup2(fd, 2);
        ExecProgram(program, args);
    }
    const int status = ExitStatusOf(pid);
    return {status, FileBytes(path), ""};
}

inline RunResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                            const std::string& scratch, long fileSizeLimit = 0) {
    return FinishProgram(StartProgram(program, args, scratch, fileSizeLimit));
}

// What a shell command line prints on stdout; its exit status in status.
inline std::string CommandOutput(const std::string& command, int* status = nullptr) {
    std::string out;
    FILE* p = ::popen(command.c_str(), "r");
    if (!p)
        return out;
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0)
        out.append(buf, n);
    const int rc = ::pclose(p);
    if (status)
        *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    return out;
}
