#pragma once
// The list of recorded days with its caption: its look, its rows in the date type's form, the
// days behind them and the label of the day picked. What a pick sets off is the preview's.
#include <QFont>
#include <QMetaObject>
#include <QStringList>
#include <functional>
#include <string>
#include <vector>

class QBoxLayout;
class QTreeWidget;
class QWidget;

class PreviewDayList {
  public:
    // Creates the caption and the list on parent, below each other in layout. A click on a row,
    // or the arrow keys moving the pick, report the row to picked.
    PreviewDayList(QWidget* parent, QBoxLayout* layout, std::function<void(int row)> picked);
    // The list outlives this (parent deletes it), so its reports stop here.
    ~PreviewDayList();
    PreviewDayList(const PreviewDayList&) = delete;
    PreviewDayList& operator=(const PreviewDayList&) = delete;

    QTreeWidget* Widget() const { return m_listDate; }
    // The row under the current item; -1 for none.
    int CurrentRow() const;
    // The listed day keys, one a row.
    const QStringList& Dates() const { return m_saListedDates; }

    // Black on white in a heavy face, one "Date" column.
    void SetLook();
    // Lists days (day keys, in their order) ahead of the rows there are, shown in dateType;
    // returns how many.
    int Fill(const std::vector<std::string>& days, int dateType);
    // The listed days shown in dateType again; the picked day's label follows.
    void Relabel(int dateType);

    // The label of the day picked; "" before any.
    const std::string& Picked() const { return m_strSelDate; }
    // Row becomes the picked day (its label) and the current row, quietly.
    void Pick(int row);
    void PickFirst();

  private:
    QMetaObject::Connection m_clicked, m_moved;
    QFont m_fontList;
    QStringList m_saListedDates;
    QTreeWidget* m_listDate;
    std::string m_strSelDate;  // the label of the chosen day
    bool m_bFilling = false;   // the list is being filled: its changes are no operator's
};
