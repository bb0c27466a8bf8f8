#pragma once
// The auto-reset event and the worker thread the backup worker sleeps and runs on.
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace platform {

class AutoResetEvent {
  public:
    explicit AutoResetEvent(bool initiallySignalled = false) : signalled_(initiallySignalled) {}
    void Set();
    void Reset();
    // Waits without time limit; the event resets as the waiter wakes.
    void Wait();
    // Waits at most milliseconds; true when the event was signalled.
    bool WaitFor(int milliseconds);

  private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool signalled_;
};

class WorkerThread {
  public:
    // Starts body on a new thread at once.
    static std::unique_ptr<WorkerThread> Start(std::function<int()> body);
    ~WorkerThread();
    void Join();
    int result() const { return result_; }

  private:
    std::thread thread_;
    int result_ = 0;
};

}  // namespace platform
