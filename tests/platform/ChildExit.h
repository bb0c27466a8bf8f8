#pragma once
// What a test runs in a child process of its own, for what must be seen from another process or
// must not touch this one's locks, mounts or limits.
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

// The exit code of what, run in a child; -1 when the child did not exit by itself.
inline int ExitOfChild(const std::function<int()>& what) {
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(what());
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}
