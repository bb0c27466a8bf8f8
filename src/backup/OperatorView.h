#pragma once
// What the core tells the operator's front end, as events that say what happened: the status
// line and the progress of a pass, the disc's space, the day's times and camera page, the
// schedule list, the modes the commands are in, and the boxes that need an answer. A front end
// draws them as it likes; the window maps them onto its controls.
//
// Threads: every call may come from the front end's thread or from the backup worker. A front
// end with a UI thread runs each call there and returns only when it is done (a blocking call).
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/Types.h"

// What a text progress bar (the disc capacity bar) shows, set as one: colours as 0xRRGGBB.
struct TextProgressState {
    unsigned barColor = 0, bkColor = 0, bar2Color = 0, textOnBk = 0, textOnBar = 0;
    int lower = 0, upper = 100, pos = 0;
    int lower2 = 0, upper2 = 100, pos2 = 0;
    bool textVisible = true;
    std::string text;  // "" shows the percentage
};

// Message box types and answers as the original platform numbers them.
constexpr unsigned MB_OK = 0x0;
constexpr unsigned MB_YESNO = 0x4;
constexpr unsigned MB_ICONERROR = 0x10;
constexpr unsigned MB_ICONWARNING = 0x30;
constexpr unsigned MB_TASKMODAL = 0x2000;
constexpr int IDOK = 1;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

// Which of the dialog's commands the operator may use: while a backup is made, idle, or while
// a disc is busy (erasing, writing).
enum class ControlsMode : int { kBusy = 0, kIdle = 1, kDiscBusy = 2 };

namespace backup {

// The four parts of a time range as the operator chooses them: two-digit texts, "" for none.
struct TimeFields {
    std::string startHour, startMinute, endHour, endMinute;
};
enum class TimeField { kStartHour, kStartMinute, kEndHour, kEndMinute };

// The sixteen camera boxes of the page shown, and the page's number ("2/4").
struct CameraBox {
    std::string caption;
    bool shown = true;
    bool enabled = true;
    bool checked = false;
};
constexpr int kBoxesPerPage = 16;
struct CameraPage {
    std::string number;
    std::array<CameraBox, kBoxesPerPage> boxes;
};

// What besides the mode decides which commands can be used.
struct ControlsFacts {
    bool entryPicked = false;  // a schedule entry is picked: its memo can be updated
    bool discTarget = false;   // the target is a disc: its write speed can be chosen
    bool pages = false;        // more than one camera page
};

class IOperatorView {
  public:
    virtual ~IOperatorView() = default;

    // The status line: its text, and whether it is shown.
    virtual void SetStatusText(const std::string& text) = 0;
    virtual void ShowStatus(bool show) = 0;
    // The progress bar of a pass or a download.
    virtual void ShowProgress(bool show) = 0;
    virtual void SetProgressRange(int low, int high) = 0;
    virtual void SetProgressPos(int pos) = 0;

    // The disc in the writer: its space bar, the offer to erase it, its write speeds (the
    // fastest chosen; none: nothing to choose) and whether one can be chosen.
    virtual void ShowDiscSpace(bool show) = 0;
    virtual void SetDiscSpace(const TextProgressState& state) = 0;
    virtual void OfferErase(bool offer) = 0;
    virtual void WriteSpeedsChanged(const std::vector<std::string>& rows) = 0;
    virtual void EnableWriteSpeeds(bool enable) = 0;
    // The target as the operator reads it ("" for none) and the drives the host offers.
    virtual void TargetChanged(const std::string& text) = 0;
    virtual void DrivesChanged(const std::vector<std::string>& roots) = 0;
    // Whether "Include backup viewer" can be chosen; cleared after a pass.
    virtual void EnableViewerOption(bool enable) = 0;
    virtual void ClearViewerOption() = 0;
    // The schedule's total as its text ("" after a pass).
    virtual void TotalSizeChanged(const std::string& text) = 0;

    // The day's times: the rows a field offers (none chosen afterwards), and a range chosen
    // by a command rather than by the operator.
    virtual void TimeRowsChanged(TimeField field, const std::vector<std::string>& rows) = 0;
    virtual void TimeChosen(const TimeFields& range) = 0;
    virtual void CameraPageChanged(const CameraPage& page) = 0;
    virtual void EnableSelectAll(bool enable) = 0;
    virtual void EnablePageButtons(bool enable) = 0;

    // The schedule list's rows, in list order, after every change; the picked row (-1: none).
    virtual void ScheduleListChanged(const std::vector<std::string>& rows) = 0;
    virtual void ScheduleRowPicked(int row) = 0;
    virtual void EnableDelete(bool enable) = 0;
    virtual void EnableUpdate(bool enable) = 0;
    virtual void MemoChanged(const std::string& text) = 0;

    // The commands' mode changed; facts say which of the idle ones apply.
    virtual void ControlsModeChanged(ControlsMode mode, const ControlsFacts& facts) = 0;
    // The preview's controls: 1 enables them, 0 and 2 disable them.
    virtual void SetPreviewControlsState(int state) = 0;
    // A local or remote pass has ended and its schedule is settled.
    virtual void PassEnded() = 0;

    virtual int MessageBox(const std::string& text, const std::string& caption, unsigned type) = 0;
    virtual void SetWaitCursor(bool on) = 0;
};

}  // namespace backup
