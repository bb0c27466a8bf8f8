#pragma once
// The skinned push button: its normal, hover, pressed and disabled looks cut out of the five
// shared skin bitmaps by its cut.pos rectangle, placed and sized by its btn.pos entry, drawn
// 1:1, stretched or tiled (draw modes 0, 1, 2) with the mask's white as transparent, and a tool
// tip. What it shows is images only: its title stays off unless asked for.
#include <QAbstractButton>
#include <QFont>
#include <QImage>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "controls/CEzFont.h"

// The five shared bitmaps: normal, over, down, disabled, mask. A null image is one that could
// not be loaded.
struct SkinBitmaps {
    QImage normal, over, down, disabled, mask;
    // From the bytes of the five files, as the application loads them.
    static SkinBitmaps FromFiles(const std::array<std::vector<std::uint8_t>, 5>& files);
};

// The window shape of a mask: the union of its rows' runs of pixels that differ from the
// transparent colour. Null for an empty bitmap.
QRegion CreateRgnFromBitmap(const QImage& bitmap, QRgb transparent);

class CxSkinButton : public QAbstractButton {
    Q_OBJECT
  public:
    explicit CxSkinButton(QWidget* parent = nullptr);

    // The folder below which "GUIS" lies (the program folder), at most 128 characters, and the
    // language file the title entry is read from.
    void SetSkinPath(const std::string& path);
    void SetLanguageFile(const std::string& file) { m_strLanguageFile = file; }

    // The skin of the button: its keys in btn.pos and cut.pos, its text colour and the shared
    // bitmaps its images are cut from. Places and sizes the button.
    void SetSkinInfo(const std::string& section, const std::string& id,
                     const std::string& cutSection, const std::string& cutId, QRgb textColor,
                     const SkinBitmaps& bitmaps);
    // The same from five image files below the skin folder, and the window shaped by the mask.
    bool SetSkin(const std::string& section, const std::string& id, const std::string& normal,
                 const std::string& down, const std::string& over, const std::string& disabled,
                 const std::string& mask);
    void SetToolTipText(const std::string& text);

    void CopyFrom(const SkinBitmaps& bitmaps);
    static QImage CopyBitmap(const QImage& from, const QRect& rect);
    void GetPositionInfo();
    bool SetPositionInfo();
    void GetPanMainPosInfo();
    void GetTitleInfo();
    bool SetTitleInfo();
    void SetIdInfo(const std::string& section, const std::string& id);
    void SetItemFont();
    QRgb SetTextColor(QRgb color);
    QRgb SetTextColorBack(QRgb color);
    void SetEnable(bool latched);
    bool GetEnable() const { return m_bEnable; }
    bool IsBtnDown() const { return m_bPressed; }
    void SetKeyTextInit() { m_bKeyText = true; }
    static int GetBitmapWidth(const QImage& image) { return image.width(); }
    static int GetBitmapHeight(const QImage& image) { return image.height(); }

    // What the button was given, for the ones who test it.
    int drawMode() const { return m_nDrawMode; }
    bool hasCut() const { return m_bHasCut; }
    QRect cutRect() const { return QRect(m_nCutX, m_nCutY, m_nCutW, m_nCutH); }
    QRect posRect() const { return QRect(m_nPosX, m_nPosY, m_nPosW, m_nPosH); }
    bool mouseOver() const { return m_bMouseOver; }
    const std::string& title() const { return m_strTitle; }
    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

  private:
    // An image with the mask's white turned transparent.
    QImage Masked(const QImage& image) const;
    void DrawBitmap(QPainter& p, const QImage& image, const QRect& rect, int mode) const;
    void FillWithBitmap(QPainter& p, const QImage& image, const QRect& rect) const;
    void SetText(QPainter& p, const QString& text, const QPoint& at, const QRect& clip) const;

    std::string m_strSkinPath;
    std::string m_strLanguageFile;
    QFont m_font;
    CEzFont m_ezTitleFont;
    std::string m_strTitle, m_strId, m_strSection, m_strCutId, m_strCutSection;
    bool m_bKeyText = false;
    int m_nPosX = 0, m_nPosY = 0;
    int m_nDrawMode = 1;
    int m_nPosW = 0, m_nPosH = 0;
    bool m_bHasCut = false;
    int m_nCutX = 0, m_nCutY = 0, m_nCutW = 0, m_nCutH = 0, m_nCutExtra = 0;
    std::string m_strPanKey;
    bool m_bEnable = false;
    int m_nFontHeight = 14;
    std::string m_strFontName = "Arial";
    bool m_bMouseOver = false;
    bool m_bPressed = false;
    QImage m_bmpNormal, m_bmpDown, m_bmpDisabled, m_bmpMask, m_bmpOver;
    QRgb m_crText;
    QRgb m_crTextBack = 0xFFFFFF;
    bool m_bBorder = false;
};
