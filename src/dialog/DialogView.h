#pragma once
// The operator's window as its controls: by number, as the code, the tests and the hosts that
// press buttons from outside all address them, with message boxes, the progress bar and the
// notices the window's own parts listen to. The core never sees it: ControlsView maps the
// core's events onto it.
//
// Threads: every call may come from the dialog thread or from the backup worker. A view with a
// UI thread runs each call there and returns only when it is done (a blocking call).
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "backup/OperatorEvents.h"
#include "controls/TextProgressState.h"
#include "dialog/MessageBoxTypes.h"
#include "platform/Types.h"

// The controls of the main dialog by their numbers, which the code, the tests and the hosts that
// press buttons from outside all use.
namespace ctl {
constexpr int kOk = 1;
constexpr int kCancel = 2;
constexpr int kStartHour = 1013;
constexpr int kStartMinute = 1014;
constexpr int kEndHour = 1015;
constexpr int kEndMinute = 1016;
constexpr int kPrevPage = 1017;
constexpr int kNextPage = 1018;
constexpr int kFirstCameraBox = 1019;  // 1019..1034, the sixteen boxes of a page
constexpr int kSelectAll = 1035;
constexpr int kAdd = 1036;
constexpr int kScheduleList = 1037;
constexpr int kCapacityBar = 1040;
constexpr int kErase = 1041;
constexpr int kHistory = 1042;
constexpr int kTimeCaption = 1052;
constexpr int kStartHourCaption = 1053;
constexpr int kStartMinuteCaption = 1054;
constexpr int kEndHourCaption = 1055;
constexpr int kEndMinuteCaption = 1056;
constexpr int kCameraCaption = 1057;
constexpr int kTotalSize = 1063;
constexpr int kDiscWriter = 1064;
constexpr int kDelete = 1065;
constexpr int kBrowse = 1066;
constexpr int kStatusLine = 1067;
constexpr int kProgress = 1068;
constexpr int kUpdate = 1069;
constexpr int kWriteSpeed = 1072;
constexpr int kMemo = 1074;
constexpr int kDriveList = 1100;
constexpr int kPreviewPlaceholder = 1121;
constexpr int kTarget = 1134;
constexpr int kIncludeViewer = 1135;
constexpr int kPreviewFrame = 1159;
constexpr int kSelectionFrame = 1160;
constexpr int kStorageFrame = 1161;
constexpr int kMemoFrame = 1162;
// Ours, beside the original ones: the camera page shown ("2/4"), and the case, exhibit and
// operator of the exhibit report, kept with the schedule.
constexpr int kCameraPage = 1990;
constexpr int kCaseReference = 1991;
constexpr int kExhibitNumber = 1992;
constexpr int kOperatorName = 1993;
}  // namespace ctl

class IDialogView {
  public:
    virtual ~IDialogView() = default;
    virtual void SetItemText(int id, const std::string& text) = 0;
    virtual std::string GetItemText(int id) = 0;
    virtual void ShowItem(int id, bool show) = 0;
    virtual void EnableItem(int id, bool enable) = 0;
    virtual void CheckItem(int id, bool checked) = 0;
    virtual bool IsItemChecked(int id) = 0;
    // A combo box's or list's rows, replacing what it held; no row is selected afterwards.
    virtual void SetItemRows(int id, const std::vector<std::string>& rows) = 0;
    virtual std::vector<std::string> GetItemRows(int id) = 0;
    // The selected row of a combo box or list (-1: none). A combo box's text is its selected row.
    virtual void SelectItemRow(int id, int row) = 0;
    virtual int GetItemRow(int id) = 0;
    virtual void SetTextProgress(int id, const TextProgressState& state) = 0;
    virtual void SetProgressRange(int low, int high) = 0;
    virtual void SetProgressPos(int pos) = 0;
    virtual int MessageBox(const std::string& text, const std::string& caption, unsigned type) = 0;
    // Closes the Yes/No box open last, as answered No; nothing when none is open.
    virtual void CloseQuestion() {}
    virtual void SetWaitCursor(bool on) = 0;
    // The controls state (0 busy, 1 idle, 2 disc busy) has been applied to the controls.
    virtual void SetControlsState(int state) = 0;
    // The preview's controls: 1 enables them, 0 and 2 disable them.
    virtual void SetPreviewControlsState(int state) = 0;
    // The schedule list's rows, in list order, after every change.
    virtual void ScheduleListChanged(const std::vector<std::string>& rows) = 0;
};

// A view that keeps what it is told: the state of every control, the messages shown and the
// progress positions. Tests read it back; the CLI builds its output on it.
class RecordingDialogView : public IDialogView {
  public:
    struct Item {
        std::string text;
        bool visible = true;
        bool enabled = true;
        bool checked = false;
    };
    struct Message {
        std::string text, caption;
        unsigned type;
    };

    void SetItemText(int id, const std::string& text) override { items[id].text = text; }
    std::string GetItemText(int id) override { return items[id].text; }
    void SetItemRows(int id, const std::vector<std::string>& r) override {
        rows[id] = r;
        items[id].text.clear();
        selected[id] = -1;
    }
    std::vector<std::string> GetItemRows(int id) override { return rows[id]; }
    void SelectItemRow(int id, int row) override {
        const auto& r = rows[id];
        selected[id] = row >= 0 && row < static_cast<int>(r.size()) ? row : -1;
        items[id].text = selected[id] >= 0 ? r[static_cast<std::size_t>(row)] : std::string();
    }
    int GetItemRow(int id) override {
        const auto it = selected.find(id);
        return it == selected.end() ? -1 : it->second;
    }
    void SetTextProgress(int id, const TextProgressState& state) override {
        textProgress[id] = state;
    }
    void ShowItem(int id, bool show) override { items[id].visible = show; }
    void EnableItem(int id, bool enable) override { items[id].enabled = enable; }
    void CheckItem(int id, bool checked) override { items[id].checked = checked; }
    bool IsItemChecked(int id) override { return items[id].checked; }
    void SetProgressRange(int low, int high) override {
        progressLow = low;
        progressHigh = high;
    }
    void SetProgressPos(int pos) override { progress.push_back(pos); }
    int MessageBox(const std::string& text, const std::string& caption, unsigned type) override {
        messages.push_back({text, caption, type});
        return (type & MB_YESNO) ? answerYesNo : IDOK;
    }
    void SetWaitCursor(bool on) override { waitCursor = on; }
    void SetControlsState(int state) override { controlsState = state; }
    void SetPreviewControlsState(int state) override { previewState = state; }
    void ScheduleListChanged(const std::vector<std::string>& r) override { listRows = r; }

    std::map<int, Item> items;
    std::map<int, std::vector<std::string>> rows;
    std::map<int, int> selected;
    std::map<int, TextProgressState> textProgress;
    std::vector<Message> messages;
    std::vector<int> progress;
    std::vector<std::string> listRows;
    int progressLow = 0, progressHigh = 100;
    int controlsState = 1, previewState = 1;
    bool waitCursor = false;
    int answerYesNo = IDYES;
};
