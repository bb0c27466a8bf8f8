#include "preview/CBackupPreviewDlg.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <ctime>

#include "app/CConvertDateType.h"
#include "app/CHKLM.h"
#include "storage/RecordedDays.h"

std::string LabelToDayKey(const std::string& label, int dateType) {
    if (label.size() < 8)
        return std::string();
    const int order = dateType >= 0 && dateType <= 8 ? dateType % 3 : 0;
    auto part = [&](std::size_t pos, std::size_t len) {
        return pos < label.size() ? label.substr(pos, len) : std::string();
    };
    std::string y, m, d;
    if (order == 0) {
        y = part(0, 4), m = part(5, 2), d = part(8, 2);
    } else if (order == 1) {
        d = part(0, 2), m = part(3, 2), y = part(6, 4);
    } else {
        m = part(0, 2), d = part(3, 2), y = part(6, 4);
    }
    return y + "-" + m + "-" + d;
}

CBackupPreviewDlg::CBackupPreviewDlg(CQuillonApp& app, BackupContext& ctx,
                                     CDvrSearchStatic2* search, QWidget* parent)
    : QWidget(parent), m_app(app), m_ctx(ctx), m_search(search) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    m_pictureArea = new QWidget(this);
    m_pictureArea->setObjectName("c1105");
    m_pictureArea->setMinimumSize(320, 240);
    m_pictureArea->setAutoFillBackground(true);
    QPalette dark = m_pictureArea->palette();
    dark.setColor(QPalette::Window, Qt::black);
    m_pictureArea->setPalette(dark);
    m_dateCaption = new QLabel(this);
    m_dateCaption->setObjectName("c1126");
    m_listDate = new QTreeWidget(this);
    m_listDate->setObjectName("c1116");
    m_listDate->setRootIsDecorated(false);
    m_listDate->setColumnCount(1);
    m_listDate->setSelectionMode(QAbstractItemView::SingleSelection);
    layout->addWidget(m_pictureArea, 3);
    layout->addWidget(m_dateCaption);
    layout->addWidget(m_listDate, 2);
    m_dateCaption->setBuddy(m_listDate);
    connect(m_listDate, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item) {
        OnDateListClick(m_listDate->indexOfTopLevelItem(item));
    });
    // The arrow keys move the pick as a click does (a click is handled as a click).
    connect(m_listDate, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
        if (!m_bFilling && item && QApplication::mouseButtons() == Qt::NoButton)
            OnDateListClick(m_listDate->indexOfTopLevelItem(item));
    });
    m_listDate->installEventFilter(this);
}

void CBackupPreviewDlg::OnInitDialog() {
    QFont listFont("Arial");
    listFont.setPixelSize(15);
    listFont.setWeight(QFont::Black);
    listFont.setStyleHint(QFont::SansSerif);
    m_listDate->setFont(listFont);
    QPalette p = m_listDate->palette();
    p.setColor(QPalette::Base, Qt::white);
    p.setColor(QPalette::Text, Qt::black);
    m_listDate->setPalette(p);
    m_listDate->setHeaderLabels({"Date"});
    m_listDate->header()->resizeSection(0, 90);
    m_dateCaption->setText(QString::fromStdString(m_app.GetLanguageText("BACKUP", "B010001")));
    m_pictureArea->setVisible(false);  // until the first picture is asked for

    const std::int64_t now = static_cast<std::int64_t>(std::time(nullptr));
    if (m_search) {
        m_search->SetTodayLimit(m_app.m_bTodayLimit != 0);
        m_search->SetTimeWindow(now, now - 86400);
        m_search->SetDriveLayout(m_app.m_bUseDrives != 0);
        m_search->SetColorFormat(m_app.m_bColorFormat != 0);
        const int channels = m_app.m_nChannelsPerUnit * m_app.m_nUnitCount;
        if (m_ctx.m_bLocalMode)
            m_search->InitSearchInfo(this, 0, 0, channels, "", 0, 22001);
        else
            m_search->InitSearchInfo(this, 1, 0, channels, m_ctx.m_strServerAddress,
                                     m_ctx.m_nPort - 2, 22001);
        return;  // the component answers with the day list (110)
    }
    // Without a playback component the preview lists the recorder's days itself.
    std::vector<std::string> days;
    for (const auto& d : storage::ListRecordedDays(GetStoragePath()))
        days.push_back(d.substr(0, 4) + "-" + d.substr(4, 2) + "-" + d.substr(6, 2));
    FillDayList(days);
}

void CBackupPreviewDlg::SetPreviewControlsState(int mode) {
    m_listDate->setEnabled(mode == 1);
}

void CBackupPreviewDlg::OnSearchNotify(unsigned wParam, const std::vector<std::int32_t>&) {
    if (wParam != kSearchDayListReady || !m_search)
        return;
    m_search->SetDateType(m_ctx.m_nDateType);
    std::vector<std::string> days;
    m_search->GetDateList(days);
    FillDayList(days);
}

void CBackupPreviewDlg::FillDayList(std::vector<std::string> days) {
    m_saListedDates.clear();
    // Newest first; of equal days the last comes first.
    std::stable_sort(days.begin(), days.end(), std::greater<>());
    std::string oldest;
    if (m_app.m_bTodayLimit) {
        const std::time_t start = static_cast<std::time_t>(m_search ? m_search->WindowStart()
                                                                    : std::time(nullptr) - 86400);
        std::tm local{};
        char buf[128] = {};
        if (localtime_r(&start, &local))
            std::strftime(buf, sizeof buf, "%Y%m%d", &local);
        oldest = buf;
    }
    const CConvertDateType convert;
    int added = 0;
    for (const auto& day : days) {
        std::string digits = day;
        digits.erase(std::remove(digits.begin(), digits.end(), '-'), digits.end());
        if (m_app.m_bTodayLimit && digits < oldest)
            continue;
        const std::string label =
            convert.DateToDisplay(day, static_cast<unsigned>(m_ctx.m_nDateType));
        m_listDate->insertTopLevelItem(added++,
                                       new QTreeWidgetItem({QString::fromStdString(label)}));
        m_saListedDates << QString::fromStdString(day);
    }
    if (m_search)
        m_search->Search_Stop();
    if (added == 0)
        return;
    m_bFilling = true;
    m_listDate->setCurrentItem(m_listDate->topLevelItem(0));
    m_bFilling = false;
    m_strSelDate = m_listDate->topLevelItem(0)->text(0).toStdString();
    if (m_search)
        m_search->GetDayIndexInfo(LabelToDayKey(m_strSelDate, m_ctx.m_nDateType));
    if (dayPicked_)
        dayPicked_(m_strSelDate);
}

bool CBackupPreviewDlg::eventFilter(QObject* watched, QEvent* event) {
    // Enter in the day list picks the day; it must not reach the dialog's default button,
    // which would start a backup.
    if (watched == m_listDate && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            OnDateListClick(m_listDate->indexOfTopLevelItem(m_listDate->currentItem()));
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void CBackupPreviewDlg::RelabelDays() {
    const CConvertDateType convert;
    const int picked = m_listDate->indexOfTopLevelItem(m_listDate->currentItem());
    m_bFilling = true;
    for (int i = 0; i < m_listDate->topLevelItemCount() && i < m_saListedDates.size(); ++i)
        m_listDate->topLevelItem(i)->setText(
            0, QString::fromStdString(convert.DateToDisplay(
                   m_saListedDates[i].toStdString(), static_cast<unsigned>(m_ctx.m_nDateType))));
    m_bFilling = false;
    if (picked >= 0 && !m_strSelDate.empty())
        m_strSelDate = m_listDate->topLevelItem(picked)->text(0).toStdString();
}

void CBackupPreviewDlg::OnDateListClick(int row) {
    if (row < 0 || row >= m_listDate->topLevelItemCount())
        return;
    const std::string old = m_strSelDate;
    m_strSelDate = m_listDate->topLevelItem(row)->text(0).toStdString();
    if (m_search)
        m_search->GetDayIndexInfo(LabelToDayKey(m_strSelDate, m_ctx.m_nDateType));
    if (dayPicked_)
        dayPicked_(m_strSelDate);
    if (m_strSelDate != old && m_search) {
        m_search->Search_Stop();
        m_search->Search_Return();
        m_search->UpdateLatesttime(0, 0, 0, 0);
    }
}
