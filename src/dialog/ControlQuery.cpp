#include "dialog/ControlQuery.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QTreeWidget>

#include "controls/CTextProgressCtrl.h"
#include "dialog/Mnemonics.h"

ControlState QueryControl(const QWidget* w, const QWidget* window) {
    ControlState s;
    if (!w)
        return s;
    QStringList rows;
    int selected = -1;
    bool hasRows = true;
    if (auto* c = qobject_cast<const QComboBox*>(w)) {
        for (int i = 0; i < c->count(); ++i)
            rows << c->itemText(i);
        selected = c->currentIndex();
    } else if (auto* l = qobject_cast<const QListWidget*>(w)) {
        for (int i = 0; i < l->count(); ++i)
            rows << l->item(i)->text();
        selected = l->selectedItems().isEmpty() ? -1 : l->currentRow();
    } else if (auto* t = qobject_cast<const QTreeWidget*>(w)) {
        for (int i = 0; i < t->topLevelItemCount(); ++i)
            rows << t->topLevelItem(i)->text(0);
        selected = t->currentItem() ? t->indexOfTopLevelItem(t->currentItem()) : -1;
    } else {
        hasRows = false;
    }
    if (hasRows) {
        s.result = selected;
        s.text = rows.join("\n").toStdString();
        return s;
    }
    if (auto* box = qobject_cast<const QCheckBox*>(w))
        s.text = box->isChecked() ? "1" : "0";
    else if (auto* b = qobject_cast<const QAbstractButton*>(w))
        s.text = WithoutMnemonic(b->text()).toStdString();
    else if (auto* label = qobject_cast<const QLabel*>(w))
        s.text = label->text().toStdString();
    else if (auto* e = qobject_cast<const QLineEdit*>(w))
        s.text = e->text().toStdString();
    else if (auto* p = qobject_cast<const QPlainTextEdit*>(w))
        s.text = p->toPlainText().toStdString();
    else if (auto* g = qobject_cast<const QGroupBox*>(w))
        s.text = g->title().toStdString();
    else if (auto* bar = qobject_cast<const QProgressBar*>(w))
        s.text = std::to_string(bar->value()) + "/" + std::to_string(bar->minimum()) + "/" +
                 std::to_string(bar->maximum());
    else if (auto* tp = qobject_cast<const CTextProgressCtrl*>(w))
        s.text = tp->ShownText().toStdString();
    s.result = (w->isEnabled() ? std::int64_t{1} << 32 : 0) |
               (w->isVisibleTo(window) ? std::int64_t{1} << 33 : 0);
    return s;
}
