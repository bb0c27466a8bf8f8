#pragma once
// An operator view whose every call is serialised, whichever thread it comes from, as a window
// that runs each call on its own thread would have it; it notes the end of a pass.
#include <atomic>
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
    QUILLON_SERIAL(SetStatusText, (const std::string& t), (t))
    QUILLON_SERIAL(ShowStatus, (bool b), (b))
    QUILLON_SERIAL(ShowProgress, (bool b), (b))
    QUILLON_SERIAL(SetProgressRange, (int l, int h), (l, h))
    QUILLON_SERIAL(SetProgressPos, (int p), (p))
    QUILLON_SERIAL(ShowDiscSpace, (bool b), (b))
    QUILLON_SERIAL(SetDiscSpace, (const TextProgressState& s), (s))
    QUILLON_SERIAL(OfferErase, (bool b), (b))
    QUILLON_SERIAL(WriteSpeedsChanged, (const std::vector<std::string>& r), (r))
    QUILLON_SERIAL(EnableWriteSpeeds, (bool b), (b))
    QUILLON_SERIAL(TargetChanged, (const std::string& t), (t))
    QUILLON_SERIAL(DrivesChanged, (const std::vector<std::string>& r), (r))
    QUILLON_SERIAL(EnableViewerOption, (bool b), (b))
    QUILLON_SERIAL(ClearViewerOption, (), ())
    QUILLON_SERIAL(TotalSizeChanged, (const std::string& t), (t))
    QUILLON_SERIAL(TimeRowsChanged, (backup::TimeField f, const std::vector<std::string>& r),
                   (f, r))
    QUILLON_SERIAL(TimeChosen, (const backup::TimeFields& r), (r))
    QUILLON_SERIAL(CameraPageChanged, (const backup::CameraPage& p), (p))
    QUILLON_SERIAL(EnableSelectAll, (bool b), (b))
    QUILLON_SERIAL(EnablePageButtons, (bool b), (b))
    QUILLON_SERIAL(ScheduleListChanged, (const std::vector<std::string>& r), (r))
    QUILLON_SERIAL(ScheduleRowPicked, (int r), (r))
    QUILLON_SERIAL(EnableDelete, (bool b), (b))
    QUILLON_SERIAL(EnableUpdate, (bool b), (b))
    QUILLON_SERIAL(MemoChanged, (const std::string& t), (t))
    QUILLON_SERIAL(ControlsModeChanged, (ControlsMode m, const backup::ControlsFacts& f), (m, f))
    QUILLON_SERIAL(SetPreviewControlsState, (int s), (s))
    QUILLON_SERIAL(SetWaitCursor, (bool b), (b))
#undef QUILLON_SERIAL
    void PassEnded() override {
        {
            std::lock_guard<std::recursive_mutex> lock(m_);
            Base::PassEnded();
        }
        ended = true;
    }
    int MessageBox(const std::string& text, const std::string& caption, unsigned type) override {
        std::lock_guard<std::recursive_mutex> lock(m_);
        ++boxes;
        return Base::MessageBox(text, caption, type);
    }
    // The range the time fields show, read while the worker may write.
    backup::TimeFields Range() {
        std::lock_guard<std::recursive_mutex> lock(m_);
        return range;
    }

    std::atomic<bool> ended{false};
    std::atomic<int> boxes{0};

  private:
    std::recursive_mutex m_;
};
