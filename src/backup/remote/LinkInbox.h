#pragma once
// The remote link's answers for a front end: the share client delivers them on its thread, the
// inbox keeps them, and the front end's thread hands them to the core's answers when it serves
// the inbox: a front end without an event loop waits in Serve, one with a loop of its own is told
// of each arrival and serves that one answer there. What it waits for is named by what the core
// asked, never by the link's answer codes.
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "backup/OperatorEvents.h"
#include "backup/OperatorPrompts.h"
#include "backup/TargetChoice.h"
#include "backup/remote/RemoteBackup.h"
#include "ports/CFileShareClient.h"

namespace backup {

class LinkInbox : public IShareClientReceiver {
  public:
    // What a front end can wait for.
    enum class Awaited {
        kDayIndex,   // the recorded minutes of the day asked for (or why not)
        kEntrySize,  // the size of the entry being added: the Add is over
        kRunEnded,   // a remote backup ended before its end (cancelled, lost, refused)
    };

    LinkInbox(LinkState& link, const TargetChoice& target, const OperatorPrompts& prompts,
              IOperatorEvents& view, LinkAnswers& answers)
        : link_(link), target_(target), prompts_(prompts), view_(view), answers_(answers) {}

    // The share client's thread.
    void PostShareMessage(unsigned message, unsigned long code, const void* record,
                          unsigned long size) override;

    // Told on the share client's thread of each answer that arrives; never called once it was
    // set again (to null when its front end goes).
    void SetArrivalHook(std::function<void()> hook);
    // The front end's thread: handles what has arrived, waiting up to ms for the first answer.
    void Serve(int ms);
    // The front end's thread: handles the oldest answer that has arrived, if any.
    void ServeNext();
    // Serves until what is awaited came; false after timeoutMs without it.
    bool ServeUntil(Awaited awaited, int timeoutMs);
    // Runs call on the caller's thread while no answer is being handled: how the worker tells a
    // front end that serves the inbox on another thread that a pass has ended, so that the end
    // and an answer never work on the state at once.
    void RunBetweenAnswers(const std::function<void()>& call);
    // The worker to wake for the next entry.
    void SetWorkerWake(std::function<void()> wake) { wake_ = std::move(wake); }

    // Whether a remote backup ended before its end, and why (as the link says).
    bool ended() const { return ended_; }
    const std::string& endedWhy() const { return endedWhy_; }

  private:
    struct Answer {
        unsigned message = 0;
        unsigned long code = 0;
        std::string record;
        bool hadRecord = false;
        unsigned long size = 0;
    };
    void Handle(const Answer& a);

    LinkState& link_;
    const TargetChoice& target_;
    const OperatorPrompts& prompts_;
    IOperatorEvents& view_;
    LinkAnswers& answers_;
    std::function<void()> wake_;
    // Held while an answer is handled; recursive, as a box an answer opens may serve the next.
    std::recursive_mutex handling_;
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::deque<Answer> queue_;
    std::function<void()> arrival_;
    bool awaiting_ = false;               // in ServeUntil
    std::vector<unsigned long> handled_;  // codes handled since the last ServeUntil began
    bool ended_ = false;
    std::string endedWhy_;
};

}  // namespace backup
