#pragma once
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
    void Serve() {
        std::unique_lock<std::mutex> lock(m_);
        if (!call_)
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
