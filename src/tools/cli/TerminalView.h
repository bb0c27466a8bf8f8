#pragma once
// The core's events for a terminal: notices go to stderr (questions answer yes, the command
// line being the operator's confirmation), the progress bar is drawn on stderr when it
// is a terminal and written as plain lines otherwise. What a window would show of its controls
// has no place here, nor the end of a pass: the pass itself is waited for (PassRun::ServeToEnd).
//
// Threads: calls arrive from the main thread and from the backup worker; each is serialised.
#include <mutex>

#include "backup/OperatorEvents.h"

class TerminalView : public backup::WindowlessEvents {
  public:
    struct Message {
        std::string text, caption;
        backup::Severity severity = backup::Severity::kInfo;
        bool question = false;
    };

    explicit TerminalView(bool showProgress);

    void StatusChanged(const std::string& text) override;
    void PassStatus(const std::string& text) override { StatusChanged(text); }
    void ProgressMoved(int percent) override;
    void Tell(const backup::Notice& notice) override;
    // No one to ask: every question is answered yes at once (the command line is the answer).
    void Ask(const backup::Question& question, backup::Reply reply) override;
    void PassEnded() override {}

    // Ends the progress line, so that what follows starts on a line of its own.
    void FinishProgress();
    // The notices and questions so far, in their order.
    std::vector<Message> Messages();

  private:
    void DrawProgress();

    std::mutex mutex_;
    std::vector<Message> messages_;
    bool showProgress_;
    bool terminal_;
    int lastPos_ = -1;
    int lastPrinted_ = -1;
    std::string status_;
    bool drawn_ = false;
};
