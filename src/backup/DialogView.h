#pragma once
// What the core needs of the operator's window: controls by id, message boxes, the status line
// and the progress bar. The core never touches a widget otherwise.
//
// Threads: every call may come from the dialog thread or from the backup worker. A front end
// with a UI thread runs each call there and returns only when it is done (a blocking call).
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/Types.h"

namespace ctl {
constexpr int kOk = 1;
constexpr int kCancel = 2;
constexpr int kScheduleList = 1037;
constexpr int kCapacityBar = 1040;
constexpr int kErase = 1041;
constexpr int kTotalSize = 1063;
constexpr int kDelete = 1065;
constexpr int kStatusLine = 1067;
constexpr int kProgress = 1068;
constexpr int kUpdate = 1069;
constexpr int kMemo = 1074;
constexpr int kTarget = 1134;
constexpr int kIncludeViewer = 1135;
constexpr int kSelectAll = 1035;
constexpr int kFirstCameraBox = 1019;  // 1019..1034, the sixteen boxes of a page
}  // namespace ctl

// Message box types and answers as the original platform numbers them.
constexpr unsigned MB_OK = 0x0;
constexpr unsigned MB_YESNO = 0x4;
constexpr unsigned MB_ICONERROR = 0x10;
constexpr unsigned MB_TASKMODAL = 0x2000;
constexpr int IDOK = 1;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

constexpr DWORD kMsgShareAnswer = 0x2F69;  // the worker's code 100 arrives with this number

class IDialogView {
  public:
    virtual ~IDialogView() = default;
    virtual void SetItemText(int id, const std::string& text) = 0;
    virtual std::string GetItemText(int id) = 0;
    virtual void ShowItem(int id, bool show) = 0;
    virtual void EnableItem(int id, bool enable) = 0;
    virtual void CheckItem(int id, bool checked) = 0;
    virtual bool IsItemChecked(int id) = 0;
    virtual void SetProgressRange(int low, int high) = 0;
    virtual void SetProgressPos(int pos) = 0;
    virtual int MessageBox(const std::string& text, const std::string& caption, unsigned type) = 0;
    virtual void SetWaitCursor(bool on) = 0;
    // 1 idle, 0 busy: which commands the operator may use.
    virtual void SetControlsState(int state) = 0;
    virtual void SetPreviewControlsState(int state) = 0;
    // The schedule list's rows, in list order, after every change.
    virtual void ScheduleListChanged(const std::vector<std::string>& rows) = 0;
    // A message sent to the dialog and handled before the call returns.
    virtual void SendDialogMessage(DWORD message, std::uintptr_t wParam, std::intptr_t lParam) = 0;
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
    void ScheduleListChanged(const std::vector<std::string>& rows) override { listRows = rows; }
    void SendDialogMessage(DWORD message, std::uintptr_t wParam, std::intptr_t) override {
        sent.push_back({message, static_cast<DWORD>(wParam)});
    }

    std::map<int, Item> items;
    std::vector<Message> messages;
    std::vector<int> progress;
    std::vector<std::string> listRows;
    std::vector<std::pair<DWORD, DWORD>> sent;
    int progressLow = 0, progressHigh = 100;
    int controlsState = 1, previewState = 1;
    bool waitCursor = false;
    int answerYesNo = IDYES;
};
