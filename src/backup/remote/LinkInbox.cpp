#include "backup/remote/LinkInbox.h"

#include <algorithm>
#include <chrono>

#include "backup/HostMessages.h"

namespace backup {

void LinkInbox::Add(Answer a) {
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

void LinkInbox::RunInTurn(const std::function<void()>& call) {
    auto turn = std::make_shared<Turn>();
    turn->call = &call;
    Add(turn);
    std::unique_lock<std::mutex> lock(mutex_);
    turned_.wait(lock, [&] { return turn->done; });
}

void LinkInbox::Handle(Answer& a) {
    std::lock_guard<std::recursive_mutex> lock(handling_);
    if (auto* index = std::get_if<DayIndexAnswer>(&a)) {
        answers_.OnDayIndex(*index);
    } else if (auto* size = std::get_if<EntrySizeAnswer>(&a)) {
        answers_.OnEntrySize(*size);
    } else if (auto* status = std::get_if<LinkStatus>(&a)) {
        answers_.OnStatus(status->text);
    } else if (auto* progress = std::get_if<LinkProgress>(&a)) {
        // Shown as the host's progress records are.
        OnDownloadProgress(link_, target_, prompts_, view_, *progress);
    } else if (auto* begins = std::get_if<LinkDownloadBegins>(&a)) {
        answers_.OnDownloadBegins(begins->slot);
    } else if (std::holds_alternative<LinkDownloaded>(a)) {
        answers_.OnDownloaded();
    } else if (auto* turn = std::get_if<std::shared_ptr<Turn>>(&a)) {
        (*(*turn)->call)();
        {
            std::lock_guard<std::mutex> done(mutex_);
            (*turn)->done = true;
        }
        turned_.notify_all();
    }
    if (awaiting_)
        handled_.push_back(a.index());
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
    for (Answer& a : now)
        Handle(a);
}

bool LinkInbox::ServeUntil(Awaited awaited, int timeoutMs) {
    const std::size_t kind = awaited == Awaited::kDayIndex ? Answer(DayIndexAnswer()).index()
                                                           : Answer(EntrySizeAnswer()).index();
    handled_.clear();
    awaiting_ = true;
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    bool came = false;
    while (!(came = std::find(handled_.begin(), handled_.end(), kind) != handled_.end()) &&
           std::chrono::steady_clock::now() <= until)
        Serve(100);
    awaiting_ = false;
    return came;
}

}  // namespace backup
