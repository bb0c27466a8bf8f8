#include "dialog/ControlsView.h"

namespace {

struct Label {
    int id;
    const char* key;
};

constexpr Label kLabels[] = {
    {ctl::kOk, "A010007"},
    {ctl::kCancel, "A010006"},
    {ctl::kPreviewFrame, "A010017"},
    {ctl::kSelectionFrame, "A010014"},
    {ctl::kTimeCaption, "A010013"},
    {ctl::kStartHourCaption, "A010012"},
    {ctl::kEndHourCaption, "A010012"},
    {ctl::kStartMinuteCaption, "A010011"},
    {ctl::kEndMinuteCaption, "A010011"},
    {ctl::kCameraCaption, "A010010"},
    {ctl::kSelectAll, "A010002"},
    {ctl::kAdd, "A010003"},
    {ctl::kDelete, "A010004"},
    {ctl::kUpdate, "A010005"},
    {ctl::kStorageFrame, "A010016"},
    {ctl::kErase, "A010001"},
    {ctl::kMemoFrame, "A010009"},
    {ctl::kIncludeViewer, "A010015"},
};

// Enabled when idle, disabled in both busy modes.
constexpr int kIdleOnly[] = {
    ctl::kAdd,       ctl::kStartHour,     ctl::kStartMinute,   ctl::kEndHour,
    ctl::kEndMinute, ctl::kSelectAll,     ctl::kDelete,        ctl::kScheduleList,
    ctl::kMemo,      ctl::kHistory,       ctl::kErase,         ctl::kBrowse,
    ctl::kOk,        ctl::kCaseReference, ctl::kExhibitNumber, ctl::kOperatorName};

}  // namespace

int TimeFieldControl(backup::TimeField field) {
    switch (field) {
        case backup::TimeField::kStartHour:
            return ctl::kStartHour;
        case backup::TimeField::kStartMinute:
            return ctl::kStartMinute;
        case backup::TimeField::kEndHour:
            return ctl::kEndHour;
        default:
            return ctl::kEndMinute;
    }
}

backup::TimeFields ReadTimeFields(IDialogView& view) {
    return {view.GetItemText(ctl::kStartHour), view.GetItemText(ctl::kStartMinute),
            view.GetItemText(ctl::kEndHour), view.GetItemText(ctl::kEndMinute)};
}

void ControlsView::LabelControls() {
    for (const Label& l : kLabels)
        view_.SetItemText(l.id, app_.GetLanguageText("BACKUP", l.key));
    view_.SetItemText(ctl::kPrevPage, "<");
    view_.SetItemText(ctl::kNextPage, ">");
    view_.SetItemText(ctl::kBrowse, "...");
    view_.EnableItem(ctl::kIncludeViewer, false);
    view_.ShowItem(ctl::kIncludeViewer, false);
}

void ControlsView::StatusChanged(const std::string& text) {
    view_.SetItemText(ctl::kStatusLine, text);
}

void ControlsView::PassStatus(const std::string& text) {
    view_.ShowItem(ctl::kStatusLine, true);
    view_.SetItemText(ctl::kStatusLine, text);
}

void ControlsView::PassStatusEnded() {
    view_.ShowItem(ctl::kStatusLine, false);
}

void ControlsView::PassStarting() {
    view_.EnableItem(ctl::kIncludeViewer, false);
    view_.ShowItem(ctl::kStatusLine, true);
}

// The progress bar and the disc's space share their place: the progress hides the disc's space
// while it lasts.
void ControlsView::MeterChanged(backup::Meter meter) {
    if (meter == backup::Meter::kProgress) {
        view_.ShowItem(ctl::kCapacityBar, false);
        view_.ShowItem(ctl::kProgress, true);
        view_.SetProgressRange(0, 100);
        return;
    }
    view_.ShowItem(ctl::kProgress, false);
    if (meter == backup::Meter::kDiscSpace)
        view_.ShowItem(ctl::kCapacityBar, true);
}

void ControlsView::ProgressMoved(int percent) {
    view_.SetProgressPos(percent);
}

void ControlsView::Busy(bool busy) {
    view_.SetWaitCursor(busy);
}

void ControlsView::DiscKnown(bool known) {
    view_.ShowItem(ctl::kCapacityBar, known);
}

// The disc's space: what is used in one colour, what the backup would add in another.
void ControlsView::DiscSpaceChanged(const backup::DiscSpace& space) {
    TextProgressState bar;
    bar.bkColor = 0xC0FFFF;
    bar.barColor = 0xFFC0FF;
    bar.lower = 0;
    bar.upper = 100;
    bar.textVisible = true;
    bar.pos = space.usedPercent;
    bar.bar2Color = 0x40C080;
    bar.lower2 = space.usedPercent;
    bar.upper2 = 100;
    bar.pos2 = space.afterBackupPercent;
    bar.text = space.text;
    bar.textOnBk = bar.textOnBar = 0x000000;
    view_.SetTextProgress(ctl::kCapacityBar, bar);
}

void ControlsView::EraseOffered(bool offered) {
    view_.ShowItem(ctl::kErase, offered);
}

void ControlsView::WriteSpeedsChanged(const std::vector<std::string>& rows) {
    view_.SetItemRows(ctl::kWriteSpeed, rows);
    if (!rows.empty())
        view_.SelectItemRow(ctl::kWriteSpeed, 0);
    view_.EnableItem(ctl::kWriteSpeed, !rows.empty());
}

void ControlsView::TargetChanged(const std::string& text) {
    view_.SetItemText(ctl::kTarget, text);
}

void ControlsView::DrivesChanged(const std::vector<std::string>& roots) {
    view_.SetItemRows(ctl::kDriveList, roots);
}

void ControlsView::ViewerOffered(bool offered) {
    view_.EnableItem(ctl::kIncludeViewer, offered);
}

void ControlsView::ViewerChoiceCleared() {
    view_.CheckItem(ctl::kIncludeViewer, false);
}

void ControlsView::TotalSizeChanged(const std::string& text) {
    view_.SetItemText(ctl::kTotalSize, text);
}

void ControlsView::TimeRowsChanged(backup::TimeField field, const std::vector<std::string>& rows) {
    view_.SetItemRows(TimeFieldControl(field), rows);
}

void ControlsView::TimeChosen(const backup::TimeFields& range) {
    view_.SetItemText(ctl::kStartHour, range.startHour);
    view_.SetItemText(ctl::kStartMinute, range.startMinute);
    view_.SetItemText(ctl::kEndHour, range.endHour);
    view_.SetItemText(ctl::kEndMinute, range.endMinute);
}

void ControlsView::CameraPageChanged(const backup::CameraPage& page) {
    view_.SetItemText(ctl::kCameraPage, page.number);
    for (int i = 0; i < backup::kCamerasPerPage; ++i) {
        const backup::PageCamera& camera = page.cameras[static_cast<std::size_t>(i)];
        const int id = ctl::kFirstCameraBox + i;
        view_.SetItemText(id, camera.name);
        view_.ShowItem(id, camera.present);
        view_.EnableItem(id, camera.selectable);
        view_.CheckItem(id, camera.selected);
    }
}

void ControlsView::SelectAllPossible(bool possible) {
    view_.EnableItem(ctl::kSelectAll, possible);
}

void ControlsView::PagesPossible(bool possible) {
    view_.EnableItem(ctl::kPrevPage, possible);
    view_.EnableItem(ctl::kNextPage, possible);
}

void ControlsView::ScheduleListChanged(const std::vector<std::string>& rows) {
    view_.ScheduleListChanged(rows);
}

void ControlsView::ScheduleRowPicked(int row) {
    view_.SelectItemRow(ctl::kScheduleList, row);
}

void ControlsView::EntryPicked(bool picked) {
    view_.EnableItem(ctl::kDelete, picked);
    view_.EnableItem(ctl::kUpdate, picked);
}

void ControlsView::MemoEditable(bool editable) {
    view_.EnableItem(ctl::kUpdate, editable);
}

void ControlsView::MemoChanged(const std::string& text) {
    view_.SetItemText(ctl::kMemo, text);
}

void ControlsView::ActivityChanged(backup::Activity activity, const backup::ActivityFacts& facts) {
    const bool idle = activity == backup::Activity::kIdle;
    for (int id : kIdleOnly)
        view_.EnableItem(id, idle);
    view_.EnableItem(ctl::kUpdate, idle && facts.entryPicked);
    view_.EnableItem(ctl::kWriteSpeed, idle && facts.discTarget);
    if (facts.pages)
        PagesPossible(idle);
    // While a pass runs Cancel stops it; while the disc is busy it waits for the disc.
    if (activity == backup::Activity::kPass) {
        view_.SetItemText(ctl::kCancel, app_.GetLanguageText("BACKUP", "A010018"));
    } else if (idle) {
        view_.EnableItem(ctl::kCancel, true);
        view_.SetItemText(ctl::kCancel, app_.GetLanguageText("BACKUP", "A010006"));
    } else {
        view_.EnableItem(ctl::kCancel, false);
    }
    // The window's controls state and the preview's use the activity's numbers.
    view_.SetControlsState(static_cast<int>(activity));
    view_.SetPreviewControlsState(static_cast<int>(activity));
}

void ControlsView::PassEnded() {
    if (onPassEnded_)
        onPassEnded_();
}

void ControlsView::Tell(const backup::Notice& notice) {
    unsigned type = MB_OK;
    if (notice.severity == backup::Severity::kWarning)
        type |= MB_ICONWARNING;
    else if (notice.severity == backup::Severity::kError)
        type |= MB_ICONERROR;
    if (notice.aboveAll)
        type |= MB_TASKMODAL;
    inMessageBox_ = 1;
    view_.MessageBox(notice.text, notice.caption, type);
    inMessageBox_ = 0;
}

void ControlsView::Ask(const backup::Question& question, backup::Reply reply) {
    inMessageBox_ = 1;
    openQuestions_.push_back(question.id);
    const bool yes = view_.MessageBox(question.text, question.caption, MB_YESNO) == IDYES;
    openQuestions_.pop_back();
    inMessageBox_ = 0;
    reply(yes);
}

void ControlsView::QuestionWithdrawn(int id) {
    if (!openQuestions_.empty() && openQuestions_.back() == id)
        view_.CloseQuestion();
}
