#pragma once
// The core's view of the main dialog, on Qt widgets found by their numbers. Calls from the
// backup worker are carried to the user-interface thread and return once they were done there
// (a blocking hop); the widgets are only ever touched on that thread.
#include <QObject>
#include <QThread>
#include <atomic>
#include <functional>

#include "dialog/DialogControls.h"
#include "dialog/DialogView.h"
#include "dialog/MessageBoxes.h"

class QtDialogView : public QObject, public IDialogView {
    Q_OBJECT
  public:
    using StateHandler = std::function<void(int)>;

    QtDialogView(QWidget* dialog, const DialogControls& controls, IMessageBoxes& boxes);

    // Where the preview's controls state goes.
    void SetPreviewStateHandler(StateHandler handler) { onPreviewState_ = std::move(handler); }
    // From now on calls from another thread return at once without touching a widget, so that
    // a worker that is being stopped never waits for a window that is closing.
    void StopServing() { serving_ = false; }
    // The last controls state applied (0 busy, 1 idle, 2 disc busy).
    int controlsState() const { return controlsState_; }
    // Runs call on the user-interface thread and returns once it has run; from another thread
    // while the view no longer serves, not at all.
    void RunOnUiThread(const std::function<void()>& call);

    void SetItemText(int id, const std::string& text) override;
    std::string GetItemText(int id) override;
    void ShowItem(int id, bool show) override;
    void EnableItem(int id, bool enable) override;
    void CheckItem(int id, bool checked) override;
    bool IsItemChecked(int id) override;
    void SetItemRows(int id, const std::vector<std::string>& rows) override;
    std::vector<std::string> GetItemRows(int id) override;
    void SelectItemRow(int id, int row) override;
    int GetItemRow(int id) override;
    void SetTextProgress(int id, const TextProgressState& state) override;
    void SetProgressRange(int low, int high) override;
    void SetProgressPos(int pos) override;
    int MessageBox(const std::string& text, const std::string& caption, unsigned type) override;
    void CloseQuestion() override;
    void SetWaitCursor(bool on) override;
    void SetControlsState(int state) override;
    void SetPreviewControlsState(int state) override;
    void ScheduleListChanged(const std::vector<std::string>& rows) override;

  private:
    // Runs f on the user-interface thread and answers its result; fallback when the view no
    // longer serves other threads.
    template <class R, class F>
    R OnUiThread(F f, R fallback);
    template <class F>
    void OnUiThread(F f);

    QWidget* dialog_;
    const DialogControls& controls_;
    IMessageBoxes& boxes_;
    StateHandler onPreviewState_;
    std::atomic<bool> serving_{true};
    int controlsState_ = 1;
    int waitCursors_ = 0;
};
