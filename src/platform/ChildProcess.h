#pragma once
// A program started as a process of its own, which runs on when the object goes: it is only
// ended when asked to.
#include <string>
#include <vector>

namespace platform {

class ChildProcess {
  public:
    // The exit code of a child whose program could not be run.
    static constexpr int kNotRun = 127;

    // Starts the program (a host path) with args, args[0] being the name it sees itself by.
    // False when no process could be made. When the program cannot be run, the child writes
    // "<failureNote>: <why>" to the error output and ends with kNotRun.
    bool Start(const std::string& program, const std::vector<std::string>& args,
               const std::string& failureNote);
    bool Started() const { return pid_ > 0; }
    // Asks the child to end (it may take its time, or refuse).
    void AskToEnd();
    // Waits until the child has ended: its exit code, 128 + the signal's number when a signal
    // ended it, or -1 when none was started or it was waited for already.
    int Wait();

  private:
    int pid_ = -1;
};

// Runs the program (a host path) in place of this process, with args (args[0] the name it sees
// itself by), keeping its standard streams; returns only when it could not, with why.
std::string RunInstead(const std::string& program, const std::vector<std::string>& args);

}  // namespace platform
