#pragma once
// Every command of a dialog reachable by a mnemonic: each push button and check box with a word
// label gets a letter of its own, shown underlined, also after the label changes.
#include <QString>

class QWidget;

void AssignMnemonics(QWidget* dialog);
// The label with the widget's letter marked ("&Add"); a literal "&" is kept as one.
QString WithMnemonic(const QWidget* widget, const QString& text);
// The label as the operator reads it, without the mark.
QString WithoutMnemonic(const QString& text);
