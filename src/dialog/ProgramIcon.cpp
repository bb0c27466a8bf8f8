#include "dialog/ProgramIcon.h"

#include <QPixmap>

#include "mkicon/QuillonIcon.h"

QIcon ProgramIcon() {
    QIcon icon;
    for (int size : mkicon::IconSizes())
        icon.addPixmap(QPixmap::fromImage(mkicon::DrawIcon(size)));
    return icon;
}
