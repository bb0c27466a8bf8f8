#pragma once
// A progress bar that paints itself: a first bar, a second bar in the space the first leaves,
// and one centred text whose colour changes where it crosses the edge of the first bar. The
// disc capacity bar of the main dialog.
#include <QColor>
#include <QString>
#include <QWidget>

#include "controls/TextProgressState.h"

class CTextProgressCtrl : public QWidget {
    Q_OBJECT
  public:
    explicit CTextProgressCtrl(QWidget* parent = nullptr);

    void SetBarColor(QColor c) { m_crBar = c; }
    void SetBkColor(QColor c) { m_crBk = c; }
    void SetBar2Color(QColor c) { m_crBar2 = c; }
    void SetTextColorOnBk(QColor c) { m_crTextOnBk = c; }
    void SetTextColorOnBar(QColor c) { m_crTextOnBar = c; }
    void SetRange(int lower, int upper);
    void SetRange2(int lower, int upper);
    // Stores the flag and answers the previous one; the drawing does not look at it.
    bool SetShowText(bool show);
    void SetTextVisible(bool visible);
    // The previous position. A bar whose end moves by a pixel or more is repainted at once.
    int SetPos(int pos);
    int SetPos2(int pos);
    // The window text: shown instead of the percentage when not empty.
    void SetWindowText(const QString& text);
    QString WindowText() const { return m_strText; }

    // Everything the capacity display sets, in its order.
    void Apply(const TextProgressState& state);

    int pos() const { return m_nPos; }
    int pos2() const { return m_nPos2; }
    // The text the bar shows now (its window text, or the percentage of the first bar).
    QString ShownText() const;
    // The pixel where the first bar ends in a control of the given width.
    int BarEnd(int width) const;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    void RepaintIfMoved(int pixel);

    int m_nPos = 0;
    bool m_bShowTextFlag = true;
    int m_nUpper = 100, m_nLower = 0;
    int m_nUpper2 = 100, m_nLower2 = 0;
    int m_nPos2 = 0;
    QString m_strText;
    bool m_bShowText = true;
    int m_nLastPixel = -1;
    QColor m_crBar, m_crBk, m_crTextOnBk, m_crTextOnBar, m_crBar2;
};
