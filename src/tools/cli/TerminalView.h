#pragma once
// The dialog's controls for a terminal: message boxes go to stderr (confirmations answer yes,
// the command line being the operator's confirmation), the progress bar is drawn on stderr when
// it is a terminal and written as plain lines otherwise, and the worker's code 100 ends the
// wait for a backup.
//
// Threads: calls arrive from the main thread and from the backup worker; each is serialised.
#include <condition_variable>
#include <mutex>

#include "backup/DialogView.h"

class TerminalView : public RecordingDialogView {
  public:
    explicit TerminalView(bool showProgress);

    void SetItemText(int id, const std::string& text) override;
    std::string GetItemText(int id) override;
    void ShowItem(int id, bool show) override;
    void EnableItem(int id, bool enable) override;
    void CheckItem(int id, bool checked) override;
    bool IsItemChecked(int id) override;
    void SetProgressPos(int pos) override;
    int MessageBox(const std::string& text, const std::string& caption, unsigned type) override;
    void SendDialogMessage(DWORD message, std::uintptr_t wParam, std::intptr_t lParam) override;

    // Waits up to milliseconds for the worker's code 100; true once it came.
    bool WaitForPassEnd(int milliseconds);
    // Ends the progress line, so that what follows starts on a line of its own.
    void FinishProgress();

  private:
    void DrawProgress();

    std::mutex mutex_;
    std::condition_variable passEnded_;
    bool ended_ = false;
    bool showProgress_;
    bool terminal_;
    int lastPos_ = -1;
    int lastPrinted_ = -1;
    std::string status_;
    bool drawn_ = false;
};
