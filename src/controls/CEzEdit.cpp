#include "controls/CEzEdit.h"

#include <QTextCursor>
#include <algorithm>

#include "controls/CEzFont.h"

QFont EditFont(const CProfileReadWrite& profile) {
    CEzFont f;
    f.face = QString::fromStdString(profile.m_strEditFontName);
    f.height = profile.m_nEditFontHeight;
    f.weight = profile.m_nEditFontWeight;
    return f.ToQFont();
}

CEzEdit::CEzEdit(QWidget* parent) : QPlainTextEdit(parent) {
    setTabChangesFocus(true);
    connect(this, &QPlainTextEdit::textChanged, this, &CEzEdit::Limit);
}

void CEzEdit::SetLimitText(int bytes) {
    m_nLimit = bytes;
    Limit();
}

void CEzEdit::SetEditFont(const CProfileReadWrite& profile) {
    setFont(EditFont(profile));
    update();
}

void CEzEdit::Limit() {
    if (m_bLimiting)
        return;
    QString text = toPlainText();
    if (m_nLimit <= 0 || text.toUtf8().size() <= m_nLimit) {
        m_strKept = text;
        return;
    }
    // What the last edit put in is what lies between the text's unchanged beginning and end;
    // of that, whole characters are taken while they fit, and the text around it stays.
    const QString& before = m_strKept;
    qsizetype head = 0;
    while (head < before.size() && head < text.size() && before[head] == text[head])
        ++head;
    qsizetype tail = 0;
    while (tail < before.size() - head && tail < text.size() - head &&
           before[before.size() - 1 - tail] == text[text.size() - 1 - tail])
        ++tail;
    const QString kept = text.left(head) + text.right(tail);
    QString inserted = text.mid(head, text.size() - head - tail);
    while (!inserted.isEmpty() && (kept + inserted).toUtf8().size() > m_nLimit)
        inserted.chop(inserted.size() > 1 && inserted.back().isLowSurrogate() ? 2 : 1);
    // A text that was over the limit already (set from outside) is cut from its end.
    QString result = text.left(head) + inserted + text.right(tail);
    while (!result.isEmpty() && result.toUtf8().size() > m_nLimit)
        result.chop(result.size() > 1 && result.back().isLowSurrogate() ? 2 : 1);
    m_bLimiting = true;
    setPlainText(result);  // listeners see the text that was kept
    QTextCursor cursor = textCursor();
    cursor.setPosition(static_cast<int>(std::min(head + inserted.size(), result.size())));
    setTextCursor(cursor);
    m_bLimiting = false;
    m_strKept = result;
}
