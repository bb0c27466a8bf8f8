#include "backup/remote/LinkInbox.h"

#include <algorithm>
#include <chrono>

#include "backup/HostMessages.h"

namespace backup {

void LinkInbox::PostShareMessage(unsigned message, unsigned long code, const void* record,
                                 unsigned long size) {
    Answer a{message, code, std::string(), record != nullptr, size};
    if (record)
        a.record.assign(static_cast<const char*>(record), size);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        queue_.push_back(std::move(a));
        if (arrival_)
            arrival_();
    }
    arrived_.notify_all();
}

void LinkInbox::SetArrivalHook(std::function<void()> hook) {
    std::lock_guard<std::mutex> lock(mutex_);
    arrival_ = std::move(hook);
}

void LinkInbox::RunBetweenAnswers(const std::function<void()>& call) {
    std::lock_guard<std::recursive_mutex> lock(handling_);
    call();
}

void LinkInbox::Handle(const Answer& a) {
    std::lock_guard<std::recursive_mutex> lock(handling_);
    if (a.message == kMsgDownloadProgress) {
        OnDownloadProgress(link_, target_, prompts_, view_, a.record, a.hadRecord);
        return;
    }
    if (a.code == kAnswerEnded) {
        ended_ = true;
        endedWhy_ = a.hadRecord ? std::string(a.record.c_str()) : std::string();
    }
    answers_.OnShareClientMessage(a.code, a.hadRecord ? a.record.data() : nullptr,
                                  a.hadRecord ? a.record.size() : a.size, wake_);
    if (awaiting_)
        handled_.push_back(a.code);
}

void LinkInbox::ServeNext() {
    Answer a;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (queue_.empty())
            return;
        a = std::move(queue_.front());
        queue_.pop_front();
    }
    Handle(a);
}

void LinkInbox::Serve(int ms) {
    std::deque<Answer> now;
    {
        std::unique_lock<std::mutex> lock(mutex_);
        arrived_.wait_for(lock, std::chrono::milliseconds(ms), [&] { return !queue_.empty(); });
        now.swap(queue_);
    }
    for (const Answer& a : now)
        Handle(a);
}

bool LinkInbox::ServeUntil(Awaited awaited, int timeoutMs) {
    const unsigned long code = awaited == Awaited::kDayIndex    ? kAnswerIndex
                               : awaited == Awaited::kEntrySize ? kAnswerAddSize
                                                                : kAnswerEnded;
    handled_.clear();
    awaiting_ = true;
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    bool came = false;
    while (!(came = std::find(handled_.begin(), handled_.end(), code) != handled_.end()) &&
           std::chrono::steady_clock::now() <= until)
        Serve(100);
    awaiting_ = false;
    return came;
}

}  // namespace backup
