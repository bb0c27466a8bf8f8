#include "preview/PreviewDayList.h"

#include <QApplication>
#include <QBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QTreeWidget>

#include "app/CConvertDateType.h"
#include "preview/PreviewCaptions.h"
#include "preview/PreviewControlIds.h"

PreviewDayList::PreviewDayList(QWidget* parent, QBoxLayout* layout,
                               std::function<void(int row)> picked) {
    QLabel* caption = PreviewCaption(ctl::kDayListCaption, parent);
    m_listDate = new QTreeWidget(parent);
    m_listDate->setObjectName("c1116");
    m_listDate->setRootIsDecorated(false);
    m_listDate->setColumnCount(1);
    m_listDate->setSelectionMode(QAbstractItemView::SingleSelection);
    m_listDate->setMaximumHeight(140);
    caption->setBuddy(m_listDate);
    layout->addWidget(caption);
    layout->addWidget(m_listDate);

    m_clicked = QObject::connect(
        m_listDate, &QTreeWidget::itemClicked, parent,
        [this, picked](QTreeWidgetItem* item) { picked(m_listDate->indexOfTopLevelItem(item)); });
    // The arrow keys move the pick as a click does (a click is handled as a click).
    m_moved = QObject::connect(
        m_listDate, &QTreeWidget::currentItemChanged, parent,
        [this, picked](QTreeWidgetItem* item) {
            if (!m_bFilling && item && QApplication::mouseButtons() == Qt::NoButton)
                picked(m_listDate->indexOfTopLevelItem(item));
        });
}

PreviewDayList::~PreviewDayList() {
    QObject::disconnect(m_clicked);
    QObject::disconnect(m_moved);
}

int PreviewDayList::CurrentRow() const {
    return m_listDate->indexOfTopLevelItem(m_listDate->currentItem());
}

void PreviewDayList::SetLook() {
    m_fontList = QFont("Arial");
    m_fontList.setPixelSize(15);
    m_fontList.setWeight(QFont::Black);
    m_fontList.setStyleHint(QFont::SansSerif);
    m_listDate->setFont(m_fontList);
    QPalette p = m_listDate->palette();
    p.setColor(QPalette::Base, Qt::white);
    p.setColor(QPalette::Text, Qt::black);
    m_listDate->setPalette(p);
    m_listDate->setHeaderLabels({"Date"});
    m_listDate->header()->resizeSection(0, 90);
}

int PreviewDayList::Fill(const std::vector<std::string>& days, int dateType) {
    m_saListedDates.clear();
    const CConvertDateType convert;
    int added = 0;
    m_bFilling = true;
    for (const auto& day : days) {
        const std::string label = convert.DateToDisplay(day, static_cast<unsigned>(dateType));
        m_listDate->insertTopLevelItem(added++,
                                       new QTreeWidgetItem({QString::fromStdString(label)}));
        m_saListedDates << QString::fromStdString(day);
    }
    m_bFilling = false;
    return added;
}

void PreviewDayList::Relabel(int dateType) {
    const CConvertDateType convert;
    const int picked = CurrentRow();
    m_bFilling = true;
    for (int i = 0; i < m_listDate->topLevelItemCount() && i < m_saListedDates.size(); ++i)
        m_listDate->topLevelItem(i)->setText(
            0, QString::fromStdString(convert.DateToDisplay(m_saListedDates[i].toStdString(),
                                                            static_cast<unsigned>(dateType))));
    m_bFilling = false;
    if (picked >= 0 && !m_strSelDate.empty())
        m_strSelDate = m_listDate->topLevelItem(picked)->text(0).toStdString();
}

void PreviewDayList::Pick(int row) {
    QTreeWidgetItem* item = m_listDate->topLevelItem(row);
    // The row picked is the row highlighted, however it was picked (a click, Enter, a caller).
    if (m_listDate->currentItem() != item) {
        m_bFilling = true;
        m_listDate->setCurrentItem(item);
        m_bFilling = false;
    }
    m_strSelDate = item->text(0).toStdString();
}

void PreviewDayList::PickFirst() {
    Pick(0);
}
