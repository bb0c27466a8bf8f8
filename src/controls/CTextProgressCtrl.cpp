#include "controls/CTextProgressCtrl.h"

#include <QPainter>
#include <QPalette>

namespace {

// A fraction of a range; an empty or reversed range is no fraction at all.
double Fraction(int pos, int lower, int upper) {
    if (upper <= lower)
        return 0.0;
    return static_cast<double>(pos - lower) / (upper - lower);
}

QColor Rgb(unsigned c) {
    return QColor((c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF);
}

}  // namespace

CTextProgressCtrl::CTextProgressCtrl(QWidget* parent) : QWidget(parent) {
    const QPalette p = palette();
    m_crBar = p.color(QPalette::Highlight);
    m_crBk = p.color(QPalette::Base);
    m_crTextOnBk = p.color(QPalette::Highlight);
    m_crTextOnBar = p.color(QPalette::Base);
    m_crBar2 = p.color(QPalette::Button);
    setMinimumHeight(20);
}

void CTextProgressCtrl::SetRange(int lower, int upper) {
    m_nLower = lower;
    m_nUpper = upper;
}

void CTextProgressCtrl::SetRange2(int lower, int upper) {
    m_nLower2 = lower;
    m_nUpper2 = upper;
}

bool CTextProgressCtrl::SetShowText(bool show) {
    const bool previous = m_bShowTextFlag;
    m_bShowTextFlag = show;
    return previous;
}

void CTextProgressCtrl::SetTextVisible(bool visible) {
    if (visible != m_bShowText) {
        m_bShowText = visible;
        update();
    }
}

int CTextProgressCtrl::BarEnd(int width) const {
    return static_cast<int>(width * Fraction(m_nPos, m_nLower, m_nUpper));
}

void CTextProgressCtrl::RepaintIfMoved(int pixel) {
    if (pixel != m_nLastPixel) {
        m_nLastPixel = pixel;
        repaint();
    }
}

int CTextProgressCtrl::SetPos(int pos) {
    const int previous = m_nPos;
    m_nPos = pos;
    RepaintIfMoved(BarEnd(width()));
    return previous;
}

int CTextProgressCtrl::SetPos2(int pos) {
    const int previous = m_nPos2;
    m_nPos2 = pos;
    RepaintIfMoved(static_cast<int>(width() * Fraction(m_nPos2, m_nLower2, m_nUpper2)));
    return previous;
}

void CTextProgressCtrl::SetWindowText(const QString& text) {
    if (text != m_strText) {
        m_strText = text;
        update();
    }
}

void CTextProgressCtrl::Apply(const TextProgressState& s) {
    SetBkColor(Rgb(s.bkColor));
    SetBarColor(Rgb(s.barColor));
    SetRange(s.lower, s.upper);
    SetTextVisible(s.textVisible);
    SetShowText(true);
    SetPos(s.pos);
    SetBar2Color(Rgb(s.bar2Color));
    SetRange2(s.lower2, s.upper2);
    SetPos2(s.pos2);
    SetWindowText(QString::fromStdString(s.text));
    SetTextColorOnBk(Rgb(s.textOnBk));
    SetTextColorOnBar(Rgb(s.textOnBar));
    update();
}

QString CTextProgressCtrl::ShownText() const {
    if (!m_strText.isEmpty())
        return m_strText;
    return QString("%1%").arg(static_cast<int>(Fraction(m_nPos, m_nLower, m_nUpper) * 100.0));
}

void CTextProgressCtrl::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    m_nLastPixel = -1;
}

void CTextProgressCtrl::paintEvent(QPaintEvent*) {
    QPainter painter(this);  // Qt draws off screen first, as a memory DC would
    if (m_nLower >= m_nUpper)
        return;
    const QRect rc = rect();
    const double f2 = Fraction(m_nPos2, m_nLower2, m_nUpper2);
    const int edge = rc.left() + BarEnd(rc.width());
    const QRect bar(rc.left(), rc.top(), edge - rc.left(), rc.height());
    const QRect rest(edge, rc.top(), rc.right() + 1 - edge, rc.height());
    painter.fillRect(bar, m_crBar);
    painter.fillRect(rest, m_crBk);
    painter.fillRect(QRect(edge, rc.top(), static_cast<int>(rest.width() * f2), rc.height()),
                     m_crBar2);
    if (!m_bShowText)
        return;
    const QString text = ShownText();
    painter.save();
    painter.setClipRect(bar);
    painter.setPen(m_crTextOnBar);
    painter.drawText(rc, Qt::AlignCenter | Qt::TextSingleLine, text);
    painter.setClipRect(rest);
    painter.setPen(m_crTextOnBk);
    painter.drawText(rc, Qt::AlignCenter | Qt::TextSingleLine, text);
    painter.restore();
}
