#include "controls/CEzEdit.h"

#include <QTextCursor>

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
    if (m_nLimit <= 0 || m_bLimiting)
        return;
    QString text = toPlainText();
    if (text.toUtf8().size() <= m_nLimit)
        return;
    // Whole characters only, as many as fit.
    while (!text.isEmpty() && text.toUtf8().size() > m_nLimit)
        text.chop(1);
    m_bLimiting = true;
    setPlainText(text);  // listeners see the text that was kept
    moveCursor(QTextCursor::End);
    m_bLimiting = false;
}
