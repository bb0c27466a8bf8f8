#include "dialog/DialogControls.h"

DialogControls::DialogControls(QWidget* root) {
    for (QWidget* w : root->findChildren<QWidget*>()) {
        const int id = IdOf(w);
        if (id > 0 && !controls_.contains(id))
            controls_.insert(id, w);
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
