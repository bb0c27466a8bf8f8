#pragma once
// The core's events drawn on the window's controls: which control shows what, which are enabled
// in each activity, the colours of the disc's space, the boxes that tell and ask, and the
// labels the controls carry from the language file.
#include <atomic>
#include <functional>

#include "app/CQuillonApp.h"
#include "backup/OperatorEvents.h"
#include "dialog/DialogView.h"

class ControlsView : public backup::IOperatorEvents {
  public:
    // inMessageBox is raised while a box is up.
    ControlsView(IDialogView& view, const CQuillonApp& app, std::atomic<BOOL>& inMessageBox)
        : view_(view), app_(app), inMessageBox_(inMessageBox) {}

    // Every label from the language file (section "BACKUP"), the three fixed ones, and "Include
    // backup viewer" disabled and hidden.
    void LabelControls();
    // What the window does once a pass has ended and its end is drawn (shows the outcome).
    void SetPassEndedHandler(std::function<void()> handler) { onPassEnded_ = std::move(handler); }

    void StatusChanged(const std::string& text) override;
    void PassStatus(const std::string& text) override;
    void PassStatusEnded() override;
    void PassStarting() override;
    void MeterChanged(backup::Meter meter) override;
    void ProgressMoved(int percent) override;
    void Busy(bool busy) override;
    void DiscKnown(bool known) override;
    void DiscSpaceChanged(const backup::DiscSpace& space) override;
    void EraseOffered(bool offered) override;
    void WriteSpeedsChanged(const std::vector<std::string>& rows) override;
    void TargetChanged(const std::string& text) override;
    void DrivesChanged(const std::vector<std::string>& roots) override;
    void ViewerOffered(bool offered) override;
    void ViewerChoiceCleared() override;
    void TotalSizeChanged(const std::string& text) override;
    void TimeRowsChanged(backup::TimeField field, const std::vector<std::string>& rows) override;
    void TimeChosen(const backup::TimeFields& range) override;
    void CameraPageChanged(const backup::CameraPage& page) override;
    void SelectAllPossible(bool possible) override;
    void PagesPossible(bool possible) override;
    void ScheduleListChanged(const std::vector<std::string>& rows) override;
    void ScheduleRowPicked(int row) override;
    void EntryPicked(bool picked) override;
    void MemoEditable(bool editable) override;
    void MemoChanged(const std::string& text) override;
    void ActivityChanged(backup::Activity activity, const backup::ActivityFacts& facts) override;
    void PassEnded() override;
    void Tell(const backup::Notice& notice) override;
    // A question is a Yes/No box, answered when it closes; one withdrawn meanwhile closes as
    // answered No (its reply then does nothing).
    void Ask(const backup::Question& question, backup::Reply reply) override;
    void QuestionWithdrawn(int id) override;

  private:
    IDialogView& view_;
    const CQuillonApp& app_;
    std::atomic<BOOL>& inMessageBox_;
    std::function<void()> onPassEnded_;
    std::vector<int> openQuestions_;  // the boxes up, the last on top
};

// The control of a time field.
int TimeFieldControl(backup::TimeField field);
// The four time fields as the operator left them.
backup::TimeFields ReadTimeFields(IDialogView& view);
