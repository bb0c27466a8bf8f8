#include "dialog/DialogControls.h"

DialogControls::DialogControls(QWidget* root) : root_(root) {
    Scan();
}

QWidget* DialogControls::Find(int id) const {
    if (QWidget* w = controls_.value(id))
        return w;
    Scan();
    return controls_.value(id);
}

void DialogControls::Scan() const {
    for (QWidget* w : root_->findChildren<QWidget*>()) {
        const int id = IdOf(w);
        if (id <= 0 || w->window() != root_->window())
            continue;
        auto it = controls_.find(id);
        if (it == controls_.end())
            controls_.insert(id, w);
        else if (!*it)
            *it = w;
    }
}

int DialogControls::IdOf(const QObject* widget) {
    const QString name = widget->objectName();
    if (name.size() < 2 || name[0] != 'c')
        return 0;
    bool ok = false;
    const int id = name.mid(1).toInt(&ok);
    return ok ? id : 0;
}
