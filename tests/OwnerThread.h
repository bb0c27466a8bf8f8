#pragma once
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

// The window's thread as the worker reaches it: a call handed over runs when the test serves.
class OwnerThread {
  public:
    void Run(const std::function<void()>& call) {
        std::unique_lock<std::mutex> lock(m_);
        call_ = &call;
        cv_.notify_all();
        cv_.wait(lock, [&] { return call_ == nullptr; });
    }
    // Runs the call handed over, waiting up to waitMs for one.
    void Serve(int waitMs = 0) {
        std::unique_lock<std::mutex> lock(m_);
        if (!cv_.wait_for(lock, std::chrono::milliseconds(waitMs), [&] { return call_; }))
            return;
        (*call_)();
        call_ = nullptr;
        ++served;
        cv_.notify_all();
    }
    int served = 0;

  private:
    std::mutex m_;
    std::condition_variable cv_;
    const std::function<void()>* call_ = nullptr;
};
