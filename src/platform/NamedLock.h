#pragma once
// A machine-wide named lock, held for as long as the object lives (and never past the process).
#include <memory>
#include <string>

namespace platform {

class NamedLock {
  public:
    // Takes the lock "<runtime dir>/<name>.lock" at once; nullptr when another holder has it.
    static std::unique_ptr<NamedLock> TryAcquire(const std::string& name);
    ~NamedLock();
    NamedLock(const NamedLock&) = delete;
    NamedLock& operator=(const NamedLock&) = delete;

  private:
    explicit NamedLock(int fd) : fd_(fd) {}
    int fd_;
};

}  // namespace platform
