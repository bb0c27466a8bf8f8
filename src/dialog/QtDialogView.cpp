#include "dialog/QtDialogView.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>

#include "controls/CTextProgressCtrl.h"
#include "dialog/Mnemonics.h"
#include "dialog/TargetText.h"

namespace {

// The storage target edit keeps the drive path the core set, and shows the host folder.
constexpr char kDrivePath[] = "quillonDrivePath";

std::vector<std::string> Rows(QComboBox* combo) {
    std::vector<std::string> out;
    for (int i = 0; i < combo->count(); ++i)
        out.push_back(combo->itemText(i).toStdString());
    return out;
}

std::vector<std::string> Rows(QListWidget* list) {
    std::vector<std::string> out;
    for (int i = 0; i < list->count(); ++i)
        out.push_back(list->item(i)->text().toStdString());
    return out;
}

}  // namespace

QtDialogView::QtDialogView(QWidget* dialog, const DialogControls& controls, IMessageBoxes& boxes)
    : QObject(dialog), dialog_(dialog), controls_(controls), boxes_(boxes) {}

template <class R, class F>
R QtDialogView::OnUiThread(F f, R fallback) {
    if (QThread::currentThread() == thread())
        return f();
    if (!serving_)
        return fallback;
    R result = fallback;
    QMetaObject::invokeMethod(
        this, [&] { result = f(); }, Qt::BlockingQueuedConnection);
    return result;
}

template <class F>
void QtDialogView::OnUiThread(F f) {
    if (QThread::currentThread() == thread()) {
        f();
    } else if (serving_) {
        QMetaObject::invokeMethod(
            this, [&] { f(); }, Qt::BlockingQueuedConnection);
    }
}

void QtDialogView::RunOnUiThread(const std::function<void()>& call) {
    OnUiThread([&] { call(); });
}

void QtDialogView::SetItemText(int id, const std::string& text) {
    OnUiThread([&] {
        QWidget* w = controls_.Find(id);
        if (auto* b = qobject_cast<QAbstractButton*>(w))
            b->setText(WithMnemonic(b, QString::fromStdString(text)));
        else if (auto* l = qobject_cast<QLabel*>(w))
            l->setText(QString::fromStdString(text));
        else if (auto* g = qobject_cast<QGroupBox*>(w))
            g->setTitle(QString::fromStdString(text));
        else if (auto* e = qobject_cast<QLineEdit*>(w)) {
            if (id == ctl::kTarget) {
                e->setProperty(kDrivePath, QString::fromStdString(text));
                e->setText(QString::fromStdString(ShownTarget(text)));
            } else {
                e->setText(QString::fromStdString(text));
            }
        } else if (auto* p = qobject_cast<QPlainTextEdit*>(w)) {
            // the change notification follows, as typing does
            if (p->toPlainText() != QString::fromStdString(text))
                p->setPlainText(QString::fromStdString(text));
        } else if (auto* c = qobject_cast<QComboBox*>(w)) {
            const QSignalBlocker block(c);
            c->setCurrentIndex(c->findText(QString::fromStdString(text)));
        } else if (auto* t = qobject_cast<CTextProgressCtrl*>(w))
            t->SetWindowText(QString::fromStdString(text));
        else if (w)
            w->setWindowTitle(QString::fromStdString(text));
    });
}

std::string QtDialogView::GetItemText(int id) {
    return OnUiThread(
        [&]() -> std::string {
            QWidget* w = controls_.Find(id);
            if (auto* b = qobject_cast<QAbstractButton*>(w))
                return WithoutMnemonic(b->text()).toStdString();
            if (auto* l = qobject_cast<QLabel*>(w))
                return l->text().toStdString();
            if (auto* e = qobject_cast<QLineEdit*>(w))
                return (id == ctl::kTarget && e->property(kDrivePath).isValid()
                            ? e->property(kDrivePath).toString()
                            : e->text())
                    .toStdString();
            if (auto* p = qobject_cast<QPlainTextEdit*>(w))
                return p->toPlainText().toStdString();
            if (auto* c = qobject_cast<QComboBox*>(w))
                return c->currentIndex() < 0 ? std::string() : c->currentText().toStdString();
            if (auto* t = qobject_cast<CTextProgressCtrl*>(w))
                return t->WindowText().toStdString();
            return w ? w->windowTitle().toStdString() : std::string();
        },
        std::string());
}

void QtDialogView::ShowItem(int id, bool show) {
    OnUiThread([&] {
        if (QWidget* w = controls_.Find(id))
            w->setVisible(show);
    });
}

void QtDialogView::EnableItem(int id, bool enable) {
    OnUiThread([&] {
        if (QWidget* w = controls_.Find(id))
            w->setEnabled(enable);
    });
}

void QtDialogView::CheckItem(int id, bool checked) {
    OnUiThread([&] {
        if (auto* b = controls_.Get<QAbstractButton>(id)) {
            const QSignalBlocker block(b);
            b->setChecked(checked);
        }
    });
}

bool QtDialogView::IsItemChecked(int id) {
    return OnUiThread(
        [&] {
            auto* b = controls_.Get<QAbstractButton>(id);
            return b && b->isChecked();
        },
        false);
}

void QtDialogView::SetItemRows(int id, const std::vector<std::string>& rows) {
    OnUiThread([&] {
        QStringList items;
        for (const auto& r : rows)
            items << QString::fromStdString(r);
        if (auto* c = controls_.Get<QComboBox>(id)) {
            const QSignalBlocker block(c);
            c->clear();
            c->addItems(items);
            c->setCurrentIndex(-1);
        } else if (auto* l = controls_.Get<QListWidget>(id)) {
            const QSignalBlocker block(l);
            l->clear();
            l->addItems(items);
            l->setCurrentRow(-1);
        }
    });
}

std::vector<std::string> QtDialogView::GetItemRows(int id) {
    return OnUiThread(
        [&] {
            if (auto* c = controls_.Get<QComboBox>(id))
                return Rows(c);
            if (auto* l = controls_.Get<QListWidget>(id))
                return Rows(l);
            return std::vector<std::string>();
        },
        std::vector<std::string>());
}

void QtDialogView::SelectItemRow(int id, int row) {
    OnUiThread([&] {
        if (auto* c = controls_.Get<QComboBox>(id)) {
            const QSignalBlocker block(c);
            c->setCurrentIndex(row >= 0 && row < c->count() ? row : -1);
        } else if (auto* l = controls_.Get<QListWidget>(id)) {
            const QSignalBlocker block(l);
            l->setCurrentRow(row >= 0 && row < l->count() ? row : -1);
            if (row < 0)
                l->clearSelection();
        }
    });
}

int QtDialogView::GetItemRow(int id) {
    return OnUiThread(
        [&] {
            if (auto* c = controls_.Get<QComboBox>(id))
                return c->currentIndex();
            if (auto* l = controls_.Get<QListWidget>(id))
                return l->selectedItems().isEmpty() ? -1 : l->currentRow();
            return -1;
        },
        -1);
}

void QtDialogView::SetTextProgress(int id, const TextProgressState& state) {
    OnUiThread([&] {
        if (auto* t = controls_.Get<CTextProgressCtrl>(id))
            t->Apply(state);
    });
}

void QtDialogView::SetProgressRange(int low, int high) {
    OnUiThread([&] {
        if (auto* p = controls_.Get<QProgressBar>(ctl::kProgress))
            p->setRange(low, high);
    });
}

void QtDialogView::SetProgressPos(int pos) {
    OnUiThread([&] {
        if (auto* p = controls_.Get<QProgressBar>(ctl::kProgress))
            p->setValue(pos > p->maximum() ? p->maximum() : pos);  // past its end shows full
    });
}

int QtDialogView::MessageBox(const std::string& text, const std::string& caption, unsigned type) {
    return OnUiThread([&] { return boxes_.Show(dialog_, text, caption, type); },
                      (type & MB_YESNO) ? IDNO : IDOK);
}

void QtDialogView::CloseQuestion() {
    OnUiThread([&] { boxes_.CloseQuestion(); });
}

void QtDialogView::SetWaitCursor(bool on) {
    OnUiThread([&] {
        if (on) {
            QApplication::setOverrideCursor(Qt::WaitCursor);
            ++waitCursors_;
        } else if (waitCursors_ > 0) {
            QApplication::restoreOverrideCursor();
            --waitCursors_;
        }
    });
}

void QtDialogView::SetControlsState(int state) {
    OnUiThread([&] { controlsState_ = state; });
}

void QtDialogView::SetPreviewControlsState(int state) {
    OnUiThread([&] {
        if (onPreviewState_)
            onPreviewState_(state);
    });
}

void QtDialogView::ScheduleListChanged(const std::vector<std::string>& rows) {
    SetItemRows(ctl::kScheduleList, rows);
}
