#pragma once
// An operator view that keeps what it is told: the last state of every part, the boxes shown
// and the progress positions. Front ends without a screen build on it; tests read it back.
// Not locked: a front end whose worker calls it while its own thread reads must serialise.
#include <map>

#include "backup/OperatorView.h"

namespace backup {

class RecordingOperatorView : public IOperatorView {
  public:
    struct Message {
        std::string text, caption;
        unsigned type;
    };

    void SetStatusText(const std::string& text) override { statusText = text; }
    void ShowStatus(bool show) override { statusShown = show; }
    void ShowProgress(bool show) override { progressShown = show; }
    void SetProgressRange(int low, int high) override {
        progressLow = low;
        progressHigh = high;
    }
    void SetProgressPos(int pos) override { progress.push_back(pos); }
    void ShowDiscSpace(bool show) override { discSpaceShown = show; }
    void SetDiscSpace(const TextProgressState& state) override { discSpace = state; }
    void OfferErase(bool offer) override { eraseOffered = offer; }
    void WriteSpeedsChanged(const std::vector<std::string>& rows) override { writeSpeeds = rows; }
    void EnableWriteSpeeds(bool enable) override { writeSpeedsEnabled = enable; }
    void TargetChanged(const std::string& text) override { target = text; }
    void DrivesChanged(const std::vector<std::string>& roots) override { drives = roots; }
    void EnableViewerOption(bool enable) override { viewerOptionEnabled = enable; }
    void ClearViewerOption() override { viewerOptionChecked = false; }
    void TotalSizeChanged(const std::string& text) override { totalSize = text; }
    void TimeRowsChanged(TimeField field, const std::vector<std::string>& rows) override {
        timeRows[field] = rows;
        Field(field).clear();
    }
    void TimeChosen(const TimeFields& r) override { range = r; }
    void CameraPageChanged(const CameraPage& p) override { page = p; }
    void EnableSelectAll(bool enable) override { selectAllEnabled = enable; }
    void EnablePageButtons(bool enable) override { pageButtonsEnabled = enable; }
    void ScheduleListChanged(const std::vector<std::string>& r) override {
        listRows = r;
        listRow = -1;
    }
    void ScheduleRowPicked(int row) override { listRow = row; }
    void EnableDelete(bool enable) override { deleteEnabled = enable; }
    void EnableUpdate(bool enable) override { updateEnabled = enable; }
    void MemoChanged(const std::string& text) override { memo = text; }
    void ControlsModeChanged(ControlsMode m, const ControlsFacts& f) override {
        mode = m;
        facts = f;
    }
    void SetPreviewControlsState(int state) override { previewState = state; }
    void PassEnded() override { ++passesEnded; }
    int MessageBox(const std::string& text, const std::string& caption, unsigned type) override {
        messages.push_back({text, caption, type});
        return (type & MB_YESNO) ? answerYesNo : IDOK;
    }
    void SetWaitCursor(bool on) override { waitCursor = on; }

    std::string& Field(TimeField field) {
        switch (field) {
            case TimeField::kStartHour:
                return range.startHour;
            case TimeField::kStartMinute:
                return range.startMinute;
            case TimeField::kEndHour:
                return range.endHour;
            default:
                return range.endMinute;
        }
    }

    std::string statusText;
    bool statusShown = true;
    bool progressShown = true;
    int progressLow = 0, progressHigh = 100;
    std::vector<int> progress;
    bool discSpaceShown = true;
    TextProgressState discSpace;
    bool eraseOffered = true;
    std::vector<std::string> writeSpeeds;
    bool writeSpeedsEnabled = true;
    std::string target;
    std::vector<std::string> drives;
    bool viewerOptionEnabled = true;
    bool viewerOptionChecked = false;
    std::string totalSize;
    std::map<TimeField, std::vector<std::string>> timeRows;
    TimeFields range;
    CameraPage page;
    bool selectAllEnabled = true;
    bool pageButtonsEnabled = true;
    std::vector<std::string> listRows;
    int listRow = -1;
    bool deleteEnabled = true;
    bool updateEnabled = true;
    std::string memo;
    ControlsMode mode = ControlsMode::kIdle;
    ControlsFacts facts;
    int previewState = 1;
    int passesEnded = 0;
    std::vector<Message> messages;
    bool waitCursor = false;
    int answerYesNo = IDYES;
};

}  // namespace backup
