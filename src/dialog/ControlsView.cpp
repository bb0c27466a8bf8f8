#include "dialog/ControlsView.h"

#include "ports/CFileShareClient.h"

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
constexpr int kIdleOnly[] = {ctl::kAdd,     ctl::kStartHour,    ctl::kStartMinute,
                             ctl::kEndHour, ctl::kEndMinute,    ctl::kSelectAll,
                             ctl::kDelete,  ctl::kScheduleList, ctl::kMemo,
                             ctl::kHistory, ctl::kErase,        ctl::kBrowse,
                             ctl::kOk};

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

void ControlsView::SetStatusText(const std::string& text) {
    view_.SetItemText(ctl::kStatusLine, text);
}

void ControlsView::ShowStatus(bool show) {
    view_.ShowItem(ctl::kStatusLine, show);
}

void ControlsView::ShowProgress(bool show) {
    view_.ShowItem(ctl::kProgress, show);
}

void ControlsView::SetProgressRange(int low, int high) {
    view_.SetProgressRange(low, high);
}

void ControlsView::SetProgressPos(int pos) {
    view_.SetProgressPos(pos);
}

void ControlsView::ShowDiscSpace(bool show) {
    view_.ShowItem(ctl::kCapacityBar, show);
}

void ControlsView::SetDiscSpace(const TextProgressState& state) {
    view_.SetTextProgress(ctl::kCapacityBar, state);
}

void ControlsView::OfferErase(bool offer) {
    view_.ShowItem(ctl::kErase, offer);
}

void ControlsView::WriteSpeedsChanged(const std::vector<std::string>& rows) {
    view_.SetItemRows(ctl::kWriteSpeed, rows);
    if (!rows.empty())
        view_.SelectItemRow(ctl::kWriteSpeed, 0);
}

void ControlsView::EnableWriteSpeeds(bool enable) {
    view_.EnableItem(ctl::kWriteSpeed, enable);
}

void ControlsView::TargetChanged(const std::string& text) {
    view_.SetItemText(ctl::kTarget, text);
}

void ControlsView::DrivesChanged(const std::vector<std::string>& roots) {
    view_.SetItemRows(ctl::kDriveList, roots);
}

void ControlsView::EnableViewerOption(bool enable) {
    view_.EnableItem(ctl::kIncludeViewer, enable);
}

void ControlsView::ClearViewerOption() {
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
    for (int i = 0; i < backup::kBoxesPerPage; ++i) {
        const backup::CameraBox& box = page.boxes[static_cast<std::size_t>(i)];
        const int id = ctl::kFirstCameraBox + i;
        view_.SetItemText(id, box.caption);
        view_.ShowItem(id, box.shown);
        view_.EnableItem(id, box.enabled);
        view_.CheckItem(id, box.checked);
    }
}

void ControlsView::EnableSelectAll(bool enable) {
    view_.EnableItem(ctl::kSelectAll, enable);
}

void ControlsView::EnablePageButtons(bool enable) {
    view_.EnableItem(ctl::kPrevPage, enable);
    view_.EnableItem(ctl::kNextPage, enable);
}

void ControlsView::ScheduleListChanged(const std::vector<std::string>& rows) {
    view_.ScheduleListChanged(rows);
}

void ControlsView::ScheduleRowPicked(int row) {
    view_.SelectItemRow(ctl::kScheduleList, row);
}

void ControlsView::EnableDelete(bool enable) {
    view_.EnableItem(ctl::kDelete, enable);
}

void ControlsView::EnableUpdate(bool enable) {
    view_.EnableItem(ctl::kUpdate, enable);
}

void ControlsView::MemoChanged(const std::string& text) {
    view_.SetItemText(ctl::kMemo, text);
}

void ControlsView::ControlsModeChanged(ControlsMode mode, const backup::ControlsFacts& facts) {
    const bool idle = mode == ControlsMode::kIdle;
    for (int id : kIdleOnly)
        view_.EnableItem(id, idle);
    view_.EnableItem(ctl::kUpdate, idle && facts.entryPicked);
    view_.EnableItem(ctl::kWriteSpeed, idle && facts.discTarget);
    if (facts.pages)
        EnablePageButtons(idle);
    // While a pass runs Cancel stops it; while the disc is busy it waits for the disc.
    if (mode == ControlsMode::kBusy) {
        view_.SetItemText(ctl::kCancel, app_.GetLanguageText("BACKUP", "A010018"));
    } else if (idle) {
        view_.EnableItem(ctl::kCancel, true);
        view_.SetItemText(ctl::kCancel, app_.GetLanguageText("BACKUP", "A010006"));
    } else {
        view_.EnableItem(ctl::kCancel, false);
    }
    view_.SetControlsState(static_cast<int>(mode));
}

void ControlsView::SetPreviewControlsState(int state) {
    view_.SetPreviewControlsState(state);
}

void ControlsView::PassEnded() {
    if (onPassEnded_)
        onPassEnded_();
}

int ControlsView::MessageBox(const std::string& text, const std::string& caption, unsigned type) {
    return view_.MessageBox(text, caption, type);
}

void ControlsView::SetWaitCursor(bool on) {
    view_.SetWaitCursor(on);
}
