#pragma once
// A machine-wide named lock, held for as long as the object lives (and never past the process).
#include <memory>
#include <string>

namespace platform {

class NamedLock {
  public:
    enum class Outcome {
        kAcquired,
        kHeldByOther,  // another process holds it
        kUnusable,     // the lock's file or folder cannot be used at all
    };
    struct Attempt {
        std::unique_ptr<NamedLock> lock;  // set when acquired
        Outcome outcome = Outcome::kUnusable;
        int holderPid = 0;    // the holder's process id, when it is known
        std::string problem;  // what made the lock unusable
    };

    // Takes the lock "<runtime dir>/<name>.lock"; with wait, blocks until the holder lets go.
    // The holder's process id is kept in the file for the next one who asks.
    static Attempt Acquire(const std::string& name, bool wait);
    // The lock at once, or nullptr for any reason.
    static std::unique_ptr<NamedLock> TryAcquire(const std::string& name);
    // One holder per folder (a host path): the folder itself is locked, no file is made in it.
    // A folder on a volume without locks counts as acquired.
    static Attempt AcquireFolder(const std::string& hostFolder, bool wait);

    ~NamedLock();
    NamedLock(const NamedLock&) = delete;
    NamedLock& operator=(const NamedLock&) = delete;

  private:
    explicit NamedLock(int fd) : fd_(fd) {}
    static Attempt Lock(int fd, bool wait, const std::string& what, bool withoutLocksOk);
    int fd_;
};

}  // namespace platform
