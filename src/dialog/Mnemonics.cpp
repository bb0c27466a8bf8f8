#include "dialog/Mnemonics.h"

#include <QAbstractButton>
#include <QSet>
#include <QWidget>

namespace {
const char kProperty[] = "mnemonic";
}

QString WithoutMnemonic(const QString& text) {
    QString out;
    for (int i = 0; i < text.size(); ++i) {
        if (text[i] == '&' && i + 1 < text.size())
            ++i;
        out += text[i];
    }
    return out;
}

QString WithMnemonic(const QWidget* widget, const QString& text) {
    QString escaped = text;
    escaped.replace("&", "&&");
    const QChar letter = widget->property(kProperty).toChar();
    if (letter.isNull())
        return escaped;
    const int at = escaped.indexOf(letter, 0, Qt::CaseInsensitive);
    if (at >= 0 && (at == 0 || escaped[at - 1] != '&'))
        escaped.insert(at, '&');
    return escaped;
}

void AssignMnemonics(QWidget* dialog) {
    QSet<QChar> used;
    for (auto* b : dialog->findChildren<QAbstractButton*>()) {
        const QString label = WithoutMnemonic(b->text());
        // Camera boxes carry numbers and "<", ">" and "..." no word: they stay as they are.
        bool word = false;
        for (QChar c : label)
            word = word || c.isLetter();
        if (!word)
            continue;
        for (QChar c : label) {
            const QChar lower = c.toLower();
            if (c.isLetter() && !used.contains(lower)) {
                used.insert(lower);
                b->setProperty(kProperty, lower);
                b->setText(WithMnemonic(b, label));
                break;
            }
        }
    }
}
