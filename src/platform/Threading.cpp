#include "platform/Threading.h"

#include <chrono>

namespace platform {

void AutoResetEvent::Set() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        signalled_ = true;
    }
    cv_.notify_one();
}

void AutoResetEvent::Reset() {
    std::lock_guard<std::mutex> lock(mutex_);
    signalled_ = false;
}

void AutoResetEvent::Wait() {
    std::unique_lock<std::mutex> lock(mutex_);
    cv_.wait(lock, [this] { return signalled_; });
    signalled_ = false;
}

bool AutoResetEvent::WaitFor(int milliseconds) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!cv_.wait_for(lock, std::chrono::milliseconds(milliseconds), [this] { return signalled_; }))
        return false;
    signalled_ = false;
    return true;
}

std::unique_ptr<WorkerThread> WorkerThread::Start(std::function<int()> body) {
    auto worker = std::make_unique<WorkerThread>();
    WorkerThread* self = worker.get();
    worker->thread_ = std::thread([self, body = std::move(body)] { self->result_ = body(); });
    return worker;
}

WorkerThread::~WorkerThread() {
    Join();
}

void WorkerThread::Join() {
    if (thread_.joinable())
        thread_.join();
}

}  // namespace platform
