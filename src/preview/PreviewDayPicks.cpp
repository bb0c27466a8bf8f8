// The recorded days as the playback component reports them and the operator picks them: listing
// them, the pick's day index and backup day, and starting a newly picked day at 00:00.
#include <QKeyEvent>
#include <QTreeWidget>
#include <ctime>

#include "preview/CBackupPreviewDlg.h"
#include "preview/PreviewDayList.h"
#include "preview/PreviewTimeChoice.h"

void CBackupPreviewDlg::OnSearchNotify(unsigned wParam, const std::vector<std::int32_t>& fields) {
    if (wParam == kSearchPictureTime) {
        if (fields.size() >= 6)
            m_time->SetTime(fields[4], fields[5]);
        return;
    }
    if (wParam != kSearchDayListReady || !m_search)
        return;
    m_search->SetDateType(m_session.Host().dateType);
    std::vector<std::string> days;
    m_search->GetDateList(days);
    FillDayList(days);
}

void CBackupPreviewDlg::FillDayList(std::vector<std::string> days) {
    // The today limit lists the days from the window start's day on.
    std::string oldest;
    if (m_app.m_bTodayLimit)
        oldest = LocalDayDigits(static_cast<std::time_t>(m_search ? m_search->WindowStart()
                                                                  : std::time(nullptr) - 86400));
    const int added = m_days->Fill(DaysToList(std::move(days), oldest), m_session.Host().dateType);
    if (m_search)
        m_search->Search_Stop();
    if (added == 0)
        return;
    // The top day is highlighted and loaded as a click on it would load it: the same day, the
    // same preview, so that what the list shows picked is what the window works on.
    const std::string old = m_days->Picked();
    m_days->PickFirst();
    LoadPickedDay();
    if (m_days->Picked() != old)
        StartPickedDay();
}

void CBackupPreviewDlg::StartPickedDay() {
    if (m_search)
        m_search->Search_Stop();
    LockTimeSelection(false);
    OnFirst();
    m_time->SetTime(0, 0);
    if (m_search)
        m_search->UpdateLatesttime(0, 0, 0, 0);
}

void CBackupPreviewDlg::LoadPickedDay() {
    if (m_search)
        m_search->GetDayIndexInfo(LabelToDayKey(m_days->Picked(), m_session.Host().dateType));
    if (dayPicked_)
        dayPicked_(m_days->Picked());
}

bool CBackupPreviewDlg::eventFilter(QObject* watched, QEvent* event) {
    // Enter in the day list picks the day; it must not reach the dialog's default button,
    // which would start a backup.
    if (watched == m_days->Widget() && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            OnDateListClick(m_days->CurrentRow());
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void CBackupPreviewDlg::RelabelDays() {
    m_days->Relabel(m_session.Host().dateType);
}

void CBackupPreviewDlg::OnDateListClick(int row) {
    if (row < 0 || row >= m_days->Widget()->topLevelItemCount())
        return;
    const std::string old = m_days->Picked();
    m_days->Pick(row);
    LoadPickedDay();
    if (m_days->Picked() == old)
        return;  // the same day again: its index is reloaded, playing goes on
    StartPickedDay();
}
