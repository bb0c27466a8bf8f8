#pragma once
// A pass's events on the operator's view: the status line, the progress bar in place of the
// disc bar, the busy pointer and a box.
#include <atomic>

#include "backup/OperatorView.h"
#include "backup/PassJob.h"

namespace backup {

class ViewPassEvents : public IPassEvents {
  public:
    // inMessageBox is raised while a box is up (the window's timer leaves it alone then).
    ViewPassEvents(IOperatorView& view, std::atomic<BOOL>& inMessageBox)
        : view_(view), inMessageBox_(inMessageBox) {}
    void Started() override;
    void Status(const std::string& text) override;
    void Progress(int percent) override;
    void Built(bool whole) override;
    void Problem(const std::string& text, const std::string& caption) override;

  private:
    IOperatorView& view_;
    std::atomic<BOOL>& inMessageBox_;
};

}  // namespace backup
