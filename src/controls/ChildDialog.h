#pragma once
// A dialog that lives inside another window: it takes the place of a placeholder control of its
// parent and grows with it.
#include <QWidget>

// Puts child into placeholder, filling it, and shows the placeholder.
void PlaceChildDialog(QWidget* placeholder, QWidget* child);
