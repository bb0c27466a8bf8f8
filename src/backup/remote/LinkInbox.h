#pragma once
// The remote link's answers for a front end: the recorder's port delivers them on its threads,
// the inbox keeps them in the order they came, and the front end's thread hands them to the
// core's answers when it serves the inbox: a front end without an event loop waits in Serve, one
// with a loop of its own is told of each arrival and serves that one answer there. What it waits
// for is named by what the core asked.
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <variant>
#include <vector>

#include "backup/OperatorEvents.h"
#include "backup/OperatorPrompts.h"
#include "backup/TargetChoice.h"
#include "backup/remote/LinkState.h"
#include "backup/remote/RemoteBackup.h"
#include "backup/remote/RemoteRecorder.h"

namespace backup {

// What a fetch tells as it goes: a progress or problem text, an item's progress, and that the
// entry's files are all in.
struct LinkStatus {
    std::string text;
};
struct LinkDownloadBegins {
    int slot = 0;
};
struct LinkDownloaded {};

class LinkInbox final : public IFetchEvents {
  public:
    // What a front end can wait for.
    enum class Awaited {
        kDayIndex,   // the recorded minutes of the day asked for (or why not)
        kEntrySize,  // the size of the entry being added: the Add is over
    };

    LinkInbox(LinkState& link, const TargetChoice& target, const OperatorPrompts& prompts,
              IOperatorEvents& view, LinkAnswers& answers)
        : link_(link), target_(target), prompts_(prompts), view_(view), answers_(answers) {}

    // Any thread: the answers as they come.
    void Post(DayIndexAnswer answer) { Add(std::move(answer)); }
    void Post(EntrySizeAnswer answer) { Add(std::move(answer)); }
    // A fetch's events, on the port's threads.
    void Status(const std::string& text) override { Add(LinkStatus{text}); }
    void Progress(const std::string& item, std::uint32_t total, std::uint32_t done) override {
        Add(LinkProgress{item, total, done});
    }
    void DownloadBegins(int slot) override { Add(LinkDownloadBegins{slot}); }
    void Downloaded() override { Add(LinkDownloaded{}); }

    // Told on the posting thread of each answer that arrives; never called once it was set
    // again (to null when its front end goes).
    void SetArrivalHook(std::function<void()> hook);
    // The front end's thread: handles what has arrived, waiting up to ms for the first answer.
    void Serve(int ms);
    // The front end's thread: handles the oldest answer that has arrived, if any.
    void ServeNext();
    // Serves until what is awaited came; false after timeoutMs without it.
    bool ServeUntil(Awaited awaited, int timeoutMs);
    // Another thread (the worker): runs call on the thread that serves, after the answers that
    // came before it, and returns once it ran. How a pass's end reaches a front end that serves
    // the inbox: the end comes after every text of the pass.
    void RunInTurn(const std::function<void()>& call);

  private:
    struct Turn {
        const std::function<void()>* call = nullptr;
        bool done = false;
    };
    using Answer = std::variant<DayIndexAnswer, EntrySizeAnswer, LinkStatus, LinkProgress,
                                LinkDownloadBegins, LinkDownloaded, std::shared_ptr<Turn>>;
    void Add(Answer a);
    void Handle(Answer& a);

    LinkState& link_;
    const TargetChoice& target_;
    const OperatorPrompts& prompts_;
    IOperatorEvents& view_;
    LinkAnswers& answers_;
    // Held while an answer is handled; recursive, as a box an answer opens may serve the next.
    std::recursive_mutex handling_;
    std::mutex mutex_;
    std::condition_variable arrived_, turned_;
    std::deque<Answer> queue_;
    std::function<void()> arrival_;
    bool awaiting_ = false;             // in ServeUntil
    std::vector<std::size_t> handled_;  // kinds handled since the last ServeUntil began
};

}  // namespace backup
