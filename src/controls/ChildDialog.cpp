#include "controls/ChildDialog.h"

#include <QVBoxLayout>

void PlaceChildDialog(QWidget* placeholder, QWidget* child) {
    auto* layout = qobject_cast<QVBoxLayout*>(placeholder->layout());
    if (!layout) {
        layout = new QVBoxLayout(placeholder);
        layout->setContentsMargins(0, 0, 0, 0);
    }
    child->setParent(placeholder);
    layout->addWidget(child);
    placeholder->show();
}
