#pragma once
// The core's events drawn on the window's controls: which control shows what, which are enabled
// in each mode, and the labels the controls carry from the language file.
#include <functional>

#include "app/CQuillonApp.h"
#include "backup/OperatorView.h"
#include "dialog/DialogView.h"

class ControlsView : public backup::IOperatorView {
  public:
    ControlsView(IDialogView& view, const CQuillonApp& app) : view_(view), app_(app) {}

    // Every label from the language file (section "BACKUP"), the three fixed ones, and "Include
    // backup viewer" disabled and hidden.
    void LabelControls();
    // What the window does once a pass has ended and its end is drawn (shows the outcome).
    void SetPassEndedHandler(std::function<void()> handler) { onPassEnded_ = std::move(handler); }

    void SetStatusText(const std::string& text) override;
    void ShowStatus(bool show) override;
    void ShowProgress(bool show) override;
    void SetProgressRange(int low, int high) override;
    void SetProgressPos(int pos) override;
    void ShowDiscSpace(bool show) override;
    void SetDiscSpace(const TextProgressState& state) override;
    void OfferErase(bool offer) override;
    void WriteSpeedsChanged(const std::vector<std::string>& rows) override;
    void EnableWriteSpeeds(bool enable) override;
    void TargetChanged(const std::string& text) override;
    void DrivesChanged(const std::vector<std::string>& roots) override;
    void EnableViewerOption(bool enable) override;
    void ClearViewerOption() override;
    void TotalSizeChanged(const std::string& text) override;
    void TimeRowsChanged(backup::TimeField field, const std::vector<std::string>& rows) override;
    void TimeChosen(const backup::TimeFields& range) override;
    void CameraPageChanged(const backup::CameraPage& page) override;
    void EnableSelectAll(bool enable) override;
    void EnablePageButtons(bool enable) override;
    void ScheduleListChanged(const std::vector<std::string>& rows) override;
    void ScheduleRowPicked(int row) override;
    void EnableDelete(bool enable) override;
    void EnableUpdate(bool enable) override;
    void MemoChanged(const std::string& text) override;
    void ControlsModeChanged(ControlsMode mode, const backup::ControlsFacts& facts) override;
    void SetPreviewControlsState(int state) override;
    void PassEnded() override;
    int MessageBox(const std::string& text, const std::string& caption, unsigned type) override;
    void SetWaitCursor(bool on) override;

  private:
    IDialogView& view_;
    const CQuillonApp& app_;
    std::function<void()> onPassEnded_;
};

// The control of a time field.
int TimeFieldControl(backup::TimeField field);
// The four time fields as the operator left them.
backup::TimeFields ReadTimeFields(IDialogView& view);
