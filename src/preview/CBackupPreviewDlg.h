#pragma once
// The preview on the left of the main dialog: the recorded days, newest first, in the date
// type's form; picking one makes it the backup day. Plays the day's pictures through the
// playback component when the program has one.
#include <QStringList>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

#include "app/CQuillonApp.h"
#include "backup/BackupContext.h"
#include "companions/CDvrSearchStatic2.h"

class QTreeWidget;
class QTreeWidgetItem;
class QLabel;

namespace ctl {
constexpr int kPictureArea = 1105;
constexpr int kDayList = 1116;
constexpr int kDayListCaption = 1126;
}  // namespace ctl

// The day key YYYY-MM-DD of a day list label of the date type; "" for a label shorter than 8.
std::string LabelToDayKey(const std::string& label, int dateType);

class CBackupPreviewDlg : public QWidget, public ISearchOwner {
    Q_OBJECT
  public:
    using DayPicked = std::function<void(const std::string& label)>;

    // ctx: the main dialog's values the preview reads (date type, mode, cameras, the chosen
    // day). search: the playback component, or null.
    CBackupPreviewDlg(CQuillonApp& app, BackupContext& ctx, CDvrSearchStatic2* search,
                      QWidget* parent = nullptr);

    // The start of the preview: labels, the day list's look, the playback component's set-up;
    // without a component the recorded days are listed at once.
    void OnInitDialog();
    // A picked day goes to the main dialog's day selection.
    void SetDayPicked(DayPicked handler) { dayPicked_ = std::move(handler); }
    // 1 enables the preview's controls, 0 and 2 disable them.
    void SetPreviewControlsState(int mode);
    // The playback component's notifications (110: the day list is ready).
    void OnSearchNotify(unsigned wParam, const std::vector<std::int32_t>& fields) override;
    // A click on row (-1: below the last day).
    void OnDateListClick(int row);
    // The listed days again in the date type, which a host record may have changed; the day
    // picked stays picked.
    void RelabelDays();

    // The days put into the list (their count is what the preview uses).
    const QStringList& ListedDates() const { return m_saListedDates; }
    QTreeWidget* DayList() const { return m_listDate; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // Days as YYYY-MM-DD into the list, newest first, limited to the last day when asked.
    void FillDayList(std::vector<std::string> days);

    CQuillonApp& m_app;
    BackupContext& m_ctx;
    CDvrSearchStatic2* m_search;
    DayPicked dayPicked_;
    QStringList m_saListedDates;
    QTreeWidget* m_listDate;
    QLabel* m_dateCaption;
    QWidget* m_pictureArea;
    std::string m_strSelDate;  // the label of the chosen day
    bool m_bFilling = false;   // the list is being filled: its changes are no operator's
};
