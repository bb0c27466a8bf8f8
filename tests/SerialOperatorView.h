#pragma once
// The operator view of the core tests: every call serialised, whichever thread it comes from, as
// a window that runs each call on its own thread would have it. A test may act when the worker
// reaches a file (by the status line); ended says that the pass started last has ended.
#include <atomic>
#include <functional>
#include <mutex>

#include "backup/RecordingOperatorView.h"

class SerialOperatorView : public backup::RecordingOperatorView {
  public:
    using Base = backup::RecordingOperatorView;
#define QUILLON_SERIAL(name, params, args)              \
    void name params override {                         \
        std::lock_guard<std::recursive_mutex> lock(m_); \
        Base::name args;                                \
    }
    QUILLON_SERIAL(PassStatusEnded, (), ())
    QUILLON_SERIAL(MeterChanged, (backup::Meter m), (m))
    QUILLON_SERIAL(ProgressMoved, (int p), (p))
    QUILLON_SERIAL(Busy, (bool b), (b))
    QUILLON_SERIAL(DiscKnown, (bool b), (b))
    QUILLON_SERIAL(DiscSpaceChanged, (const backup::DiscSpace& s), (s))
    QUILLON_SERIAL(EraseOffered, (bool b), (b))
    QUILLON_SERIAL(WriteSpeedsChanged, (const std::vector<std::string>& r), (r))
    QUILLON_SERIAL(TargetChanged, (const std::string& t), (t))
    QUILLON_SERIAL(DrivesChanged, (const std::vector<std::string>& r), (r))
    QUILLON_SERIAL(ViewerOffered, (bool b), (b))
    QUILLON_SERIAL(ViewerChoiceCleared, (), ())
    QUILLON_SERIAL(TotalSizeChanged, (const std::string& t), (t))
    QUILLON_SERIAL(TimeRowsChanged, (backup::TimeField f, const std::vector<std::string>& r),
                   (f, r))
    QUILLON_SERIAL(TimeChosen, (const backup::TimeFields& r), (r))
    QUILLON_SERIAL(CameraPageChanged, (const backup::CameraPage& p), (p))
    QUILLON_SERIAL(SelectAllPossible, (bool b), (b))
    QUILLON_SERIAL(PagesPossible, (bool b), (b))
    QUILLON_SERIAL(ScheduleListChanged, (const std::vector<std::string>& r), (r))
    QUILLON_SERIAL(ScheduleRowPicked, (int r), (r))
    QUILLON_SERIAL(EntryPicked, (bool b), (b))
    QUILLON_SERIAL(MemoEditable, (bool b), (b))
    QUILLON_SERIAL(MemoChanged, (const std::string& t), (t))
    QUILLON_SERIAL(ActivityChanged, (backup::Activity a, const backup::ActivityFacts& f), (a, f))
#undef QUILLON_SERIAL
    // A pass's end is waited for from its start on: an end told for the pass before does not
    // end this one's wait.
    void PassStarting() override {
        std::lock_guard<std::recursive_mutex> lock(m_);
        Base::PassStarting();
        ended = false;
    }
    void PassStatus(const std::string& text) override {
        {
            std::lock_guard<std::recursive_mutex> lock(m_);
            statusShown = true;
        }
        StatusChanged(text);
    }
    // PassStatus comes through here too. The hook runs outside the lock, so that it may hold
    // the worker while the test's thread goes on calling.
    void StatusChanged(const std::string& text) override {
        {
            std::lock_guard<std::recursive_mutex> lock(m_);
            Base::StatusChanged(text);
        }
        if (onStatus)
            onStatus(text);
    }
    void PassEnded() override {
        {
            std::lock_guard<std::recursive_mutex> lock(m_);
            Base::PassEnded();
        }
        ended = true;
    }
    void Tell(const backup::Notice& notice) override {
        std::lock_guard<std::recursive_mutex> lock(m_);
        ++boxes;
        if (onBox)
            onBox(notice.text);
        Base::Tell(notice);
    }
    bool Confirm(const std::string& question, const std::string& caption) override {
        std::lock_guard<std::recursive_mutex> lock(m_);
        ++boxes;
        if (onBox)
            onBox(question);
        return Base::Confirm(question, caption);
    }
    // A window's box answers later: with holdReplies each question's reply is kept for the test.
    void Ask(const backup::Question& question, backup::Reply reply) override {
        if (!holdReplies)
            return Base::Ask(question, std::move(reply));
        std::lock_guard<std::recursive_mutex> lock(m_);
        asked.push_back(question);
        replies.push_back(std::move(reply));
    }
    // The range the time fields show, read while the worker may write.
    backup::TimeFields Range() {
        std::lock_guard<std::recursive_mutex> lock(m_);
        return range;
    }
    // Boxes shown and folder passes ended: what ends a remote run for the window.
    int Ends() {
        std::lock_guard<std::recursive_mutex> lock(m_);
        return boxes + passesEnded;
    }

    std::function<void(const std::string&)> onStatus;  // set while no pass runs
    std::function<void(const std::string&)> onBox;     // each notice's or question's text
    std::atomic<bool> ended{false};
    std::atomic<int> boxes{0};
    bool holdReplies = false;
    std::vector<backup::Question> asked;
    std::vector<backup::Reply> replies;

  private:
    std::recursive_mutex m_;
};
