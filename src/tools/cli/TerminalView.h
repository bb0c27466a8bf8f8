#pragma once
// The core's events for a terminal: message boxes go to stderr (confirmations answer yes, the
// command line being the operator's confirmation), the progress bar is drawn on stderr when it
// is a terminal and written as plain lines otherwise, and the end of a pass ends the wait for
// a backup. What a window would show of its controls has no place here.
//
// Threads: calls arrive from the main thread and from the backup worker; each is serialised.
#include <condition_variable>
#include <mutex>

#include "backup/OperatorView.h"

class TerminalView : public backup::IOperatorView {
  public:
    struct Message {
        std::string text, caption;
        unsigned type;
    };

    explicit TerminalView(bool showProgress);

    void SetStatusText(const std::string& text) override;
    void SetProgressPos(int pos) override;
    int MessageBox(const std::string& text, const std::string& caption, unsigned type) override;
    void PassEnded() override;

    // Nothing of these shows on a terminal.
    void ShowStatus(bool) override {}
    void ShowProgress(bool) override {}
    void SetProgressRange(int, int) override {}
    void ShowDiscSpace(bool) override {}
    void SetDiscSpace(const TextProgressState&) override {}
    void OfferErase(bool) override {}
    void WriteSpeedsChanged(const std::vector<std::string>&) override {}
    void EnableWriteSpeeds(bool) override {}
    void TargetChanged(const std::string&) override {}
    void DrivesChanged(const std::vector<std::string>&) override {}
    void EnableViewerOption(bool) override {}
    void ClearViewerOption() override {}
    void TotalSizeChanged(const std::string&) override {}
    void TimeRowsChanged(backup::TimeField, const std::vector<std::string>&) override {}
    void TimeChosen(const backup::TimeFields&) override {}
    void CameraPageChanged(const backup::CameraPage&) override {}
    void EnableSelectAll(bool) override {}
    void EnablePageButtons(bool) override {}
    void ScheduleListChanged(const std::vector<std::string>&) override {}
    void ScheduleRowPicked(int) override {}
    void EnableDelete(bool) override {}
    void EnableUpdate(bool) override {}
    void MemoChanged(const std::string&) override {}
    void ControlsModeChanged(ControlsMode, const backup::ControlsFacts&) override {}
    void SetPreviewControlsState(int) override {}
    void SetWaitCursor(bool) override {}

    // Waits up to milliseconds for the end of a pass; true once it came.
    bool WaitForPassEnd(int milliseconds);
    // Ends the progress line, so that what follows starts on a line of its own.
    void FinishProgress();
    // The boxes shown so far, in their order.
    std::vector<Message> Messages();

  private:
    void DrawProgress();

    std::mutex mutex_;
    std::condition_variable passEnded_;
    std::vector<Message> messages_;
    bool ended_ = false;
    bool showProgress_;
    bool terminal_;
    int lastPos_ = -1;
    int lastPrinted_ = -1;
    std::string status_;
    bool drawn_ = false;
};
