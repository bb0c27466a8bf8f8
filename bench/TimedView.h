#pragma once
// An operator view that tells when a pass has ended, so that the pass can be timed to its end.
// The status line is written by the worker and the bench's thread alike: it is locked.
#include <mutex>

#include "backup/RecordingOperatorView.h"
#include "platform/Threading.h"

namespace bench {

class TimedView : public backup::RecordingOperatorView {
  public:
    void ProgressMoved(int) override {}
    void StatusChanged(const std::string& text) override {
        std::lock_guard<std::mutex> lock(m);
        RecordingOperatorView::StatusChanged(text);
    }
    void PassEnded() override { ended.Set(); }
    platform::AutoResetEvent ended;
    std::mutex m;
};

}  // namespace bench
