#include "controls/CxSkinButton.h"

#include <qdrawutil.h>
#include <QCoreApplication>
#include <QDir>
#include <QMouseEvent>
#include <QPainter>
#include <QRegion>
#include <QStyleOption>

#include "platform/DrivePaths.h"
#include "platform/File.h"
#include "skin/MaskRegion.h"
#include "skin/SkinPositions.h"

namespace {

constexpr QRgb kTransparent = 0xFFFFFF;

QImage LoadImage(const std::string& path) {
    platform::File f;
    if (!f.Open(path, platform::File::kRead))
        return QImage();
    const long long length = f.Length();
    if (length <= 0 || length > (64 << 20))
        return QImage();
    QByteArray bytes(static_cast<qsizetype>(length), '\0');
    if (f.ReadAt(bytes.data(), static_cast<std::size_t>(length), 0) != length)
        return QImage();
    return QImage::fromData(bytes);
}

}  // namespace

SkinBitmaps SkinBitmaps::FromFiles(const std::array<std::vector<std::uint8_t>, 5>& files) {
    auto image = [](const std::vector<std::uint8_t>& bytes) {
        return bytes.empty() ? QImage()
                             : QImage::fromData(bytes.data(), static_cast<int>(bytes.size()));
    };
    return {image(files[0]), image(files[1]), image(files[2]), image(files[3]), image(files[4])};
}

QRegion CreateRgnFromBitmap(const QImage& bitmap, QRgb transparent) {
    const auto rects = skin::RegionFromBitmap(
        bitmap.width(), bitmap.height(),
        [&](int x, int y) { return static_cast<std::uint32_t>(bitmap.pixel(x, y) & 0xFFFFFF); },
        transparent & 0xFFFFFF);
    if (!rects)
        return QRegion();
    QRegion region;
    for (const auto& r : *rects)
        region += QRect(r.left, r.top, r.right - r.left, r.bottom - r.top);
    return region;
}

CxSkinButton::CxSkinButton(QWidget* parent)
    : QAbstractButton(parent), m_crText(palette().color(QPalette::ButtonText).rgb()) {
    SetSkinPath(platform::ToDrivePath(QDir::currentPath().toStdString()));
    setMouseTracking(true);
    setAttribute(Qt::WA_NoSystemBackground);  // the parent shows where the mask is white
}

void CxSkinButton::SetSkinPath(const std::string& path) {
    m_strSkinPath = path.substr(0, 128);
}

void CxSkinButton::SetSkinInfo(const std::string& section, const std::string& id,
                               const std::string& cutSection, const std::string& cutId,
                               QRgb textColor, const SkinBitmaps& bitmaps) {
    SetItemFont();
    m_crText = textColor;
    m_strCutSection = cutSection;
    m_strCutId = cutId;
    SetIdInfo(section, id);
    CopyFrom(bitmaps);
}

bool CxSkinButton::SetSkin(const std::string& section, const std::string& id,
                           const std::string& normal, const std::string& down,
                           const std::string& over, const std::string& disabled,
                           const std::string& mask) {
    auto file = [&](const std::string& name) { return LoadImage(m_strSkinPath + "\\" + name); };
    const SkinBitmaps bitmaps{file(normal), file(over), file(down), file(disabled), file(mask)};
    m_strCutSection = section;
    m_strCutId = id;
    SetIdInfo(section, id);
    CopyFrom(bitmaps);
    if (!m_bmpMask.isNull())
        setMask(CreateRgnFromBitmap(m_bmpMask, kTransparent));
    return !bitmaps.normal.isNull();
}

void CxSkinButton::SetToolTipText(const std::string& text) {
    setToolTip(QString::fromStdString(text));
}

QImage CxSkinButton::CopyBitmap(const QImage& from, const QRect& rect) {
    if (from.isNull() || rect.isEmpty())
        return QImage();
    return from.copy(rect);
}

void CxSkinButton::CopyFrom(const SkinBitmaps& bitmaps) {
    GetPositionInfo();
    m_nDrawMode = skin::ClampDrawMode(m_nDrawMode);
    m_bBorder = false;
    const QRect source = m_bHasCut ? QRect(m_nCutX, m_nCutY, m_nCutW, m_nCutH)
                                   : QRect(m_nPosX, m_nPosY, m_nPosW, m_nPosH);
    m_bmpNormal = CopyBitmap(bitmaps.normal, source);
    m_bmpOver = CopyBitmap(bitmaps.over, source);
    m_bmpDown = CopyBitmap(bitmaps.down, source);
    m_bmpDisabled = CopyBitmap(bitmaps.disabled, source);
    m_bmpMask = CopyBitmap(bitmaps.mask, source);
    if (m_nDrawMode == 0) {
        if (m_strSection == "PanTiltOption") {
            setFixedSize(m_nPosW, m_nPosH);
        } else if (m_nPosX != 0 && m_nPosY != 0) {
            move(m_nPosX, m_nPosY);
            setFixedSize(m_bmpNormal.size());
        }
        return;
    }
    move(m_nPosX, m_nPosY);
    setFixedSize(m_nPosW, m_nPosH);
}

void CxSkinButton::GetPositionInfo() {
    const skin::ButtonPosition pos =
        skin::ReadButtonPosition(skin::ButtonPositionFile(m_strSkinPath), m_strSection, m_strId);
    m_nPosX = pos.x;
    m_nPosY = pos.y;
    m_nPosW = pos.w;
    m_nPosH = pos.h;
    m_nDrawMode = pos.drawMode;
    const skin::CutPosition cut =
        skin::ReadCutPosition(skin::CutPositionFile(m_strSkinPath), m_strCutSection, m_strCutId);
    m_bHasCut = cut.found;
    m_nCutX = cut.x;
    m_nCutY = cut.y;
    m_nCutW = cut.w;
    m_nCutH = cut.h;
    m_nCutExtra = cut.extra;
}

bool CxSkinButton::SetPositionInfo() {
    return skin::WriteButtonPosition(skin::ButtonPositionFile(m_strSkinPath), m_strSection, m_strId,
                                     {m_nPosX, m_nPosY, m_nPosW, m_nPosH, m_nDrawMode});
}

void CxSkinButton::GetPanMainPosInfo() {
    const auto [x, y] =
        skin::ReadPanPosition(skin::ButtonPositionFile(m_strSkinPath), m_strSection, m_strPanKey);
    m_nPosX = x;
    m_nPosY = y;
}

void CxSkinButton::GetTitleInfo() {
    const skin::TitleInfo t = skin::ReadTitleInfo(m_strLanguageFile, m_strSection, m_strId);
    m_strTitle = t.title;
    m_ezTitleFont.face = QString::fromStdString(t.face);
    m_ezTitleFont.charset = static_cast<int>(t.charset);
    m_ezTitleFont.height = t.height;
    m_ezTitleFont.weight = t.weight;
}

bool CxSkinButton::SetTitleInfo() {
    // The language file of the skin folder, with the suffix of the program's own.
    const std::size_t dot = m_strLanguageFile.find_last_of('.');
    const std::string suffix =
        dot == std::string::npos ? std::string("eng") : m_strLanguageFile.substr(dot + 1);
    skin::TitleInfo t;
    t.title = m_strTitle;
    t.face = m_ezTitleFont.face.toStdString();
    t.charset = m_ezTitleFont.charset;
    t.height = m_ezTitleFont.height;
    t.weight = m_ezTitleFont.weight;
    return skin::WriteTitleInfo(m_strSkinPath + "\\language." + suffix, m_strSection, m_strId, t);
}

void CxSkinButton::SetIdInfo(const std::string& section, const std::string& id) {
    m_strSection = section;
    m_strId = id;
    GetTitleInfo();
    setText(QString());
}

void CxSkinButton::SetItemFont() {
    m_font = QFont(QString::fromStdString(m_strFontName));
    m_font.setPixelSize(m_nFontHeight);
    m_font.setWeight(QFont::DemiBold);  // 600
    m_font.setStyleHint(QFont::SansSerif);
}

QRgb CxSkinButton::SetTextColor(QRgb color) {
    const QRgb old = m_crText;
    m_crText = color;
    return old;
}

QRgb CxSkinButton::SetTextColorBack(QRgb color) {
    const QRgb old = m_crTextBack;
    m_crTextBack = color;
    return old;
}

void CxSkinButton::SetEnable(bool latched) {
    m_bEnable = latched;
    update();
}

QSize CxSkinButton::sizeHint() const {
    if (m_nPosW > 0 && m_nPosH > 0)
        return QSize(m_nPosW, m_nPosH);
    return m_bmpNormal.isNull() ? QSize(40, 30) : m_bmpNormal.size();
}

QImage CxSkinButton::Masked(const QImage& image) const {
    if (image.isNull() || m_bmpMask.isNull())
        return image;
    QImage out = image.convertToFormat(QImage::Format_ARGB32);
    const int w = std::min(out.width(), m_bmpMask.width());
    const int h = std::min(out.height(), m_bmpMask.height());
    for (int y = 0; y < h; ++y) {
        auto* row = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < w; ++x)
            if ((m_bmpMask.pixel(x, y) & 0xFFFFFF) == kTransparent)
                row[x] = 0;  // the background shows
    }
    return out;
}

void CxSkinButton::FillWithBitmap(QPainter& p, const QImage& image, const QRect& rect) const {
    if (image.isNull())
        return;
    p.save();
    p.setClipRect(rect);
    for (int y = rect.top(); y <= rect.bottom(); y += image.height())
        for (int x = rect.left(); x <= rect.right(); x += image.width())
            p.drawImage(QPoint(x, y), image);
    p.restore();
}

void CxSkinButton::DrawBitmap(QPainter& p, const QImage& image, const QRect& rect, int mode) const {
    if (image.isNull())
        return;
    if (mode == 2) {
        FillWithBitmap(p, image, rect);  // tiles take no mask
        return;
    }
    const QImage shown = Masked(image);
    if (mode == 1) {
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        p.drawImage(rect, shown);
    } else {
        p.save();
        p.setClipRect(rect);
        p.drawImage(rect.topLeft(), shown);
        p.restore();
    }
}

void CxSkinButton::SetText(QPainter& p, const QString& text, const QPoint& at,
                           const QRect& clip) const {
    p.save();
    p.setClipRect(clip);
    p.drawText(at, text);
    p.restore();
}

void CxSkinButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QRect r = rect();
    p.setFont(m_font);
    const QFontMetrics fm(m_font);
    const QPoint textAt((r.width() - fm.horizontalAdvance(text())) / 2,
                        (r.height() - fm.height()) / 2 + fm.ascent());
    const QColor face = palette().color(QPalette::Button);
    auto edge = [&](bool sunken) {
        if (m_bBorder)
            qDrawShadePanel(&p, r, palette(), sunken, 1);
    };
    auto title = [&] {
        if (m_bKeyText)
            SetText(p, QString::fromStdString(m_strTitle), textAt, r);
    };
    if (!isEnabled()) {
        if (m_bmpDisabled.isNull())
            p.fillRect(r, face);
        else
            DrawBitmap(p, m_bmpDisabled, r, m_nDrawMode);
        edge(false);
        if (!text().isEmpty()) {
            p.setPen(palette().color(QPalette::Highlight));
            p.drawText(textAt + QPoint(1, 1), text());
            p.setPen(palette().color(QPalette::Disabled, QPalette::Text));
            p.drawText(textAt, text());
        }
        title();
        return;
    }
    if (isDown()) {
        if (m_bmpDown.isNull())
            p.fillRect(r, face);
        else
            DrawBitmap(p, m_bmpDown, r, m_nDrawMode);
        edge(true);
    } else {
        if (m_bmpNormal.isNull())
            p.fillRect(r, face);
        else
            DrawBitmap(p, m_bMouseOver && !m_bmpOver.isNull() ? m_bmpOver : m_bmpNormal, r,
                       m_nDrawMode);
        edge(false);
    }
    if (m_bEnable)
        DrawBitmap(p, m_bmpDown, r, m_nDrawMode);  // latched: pressed drawn over the rest
    p.setPen(QColor::fromRgb(m_crText));
    if (!text().isEmpty())
        p.drawText(textAt, text());
    title();
}

void CxSkinButton::enterEvent(QEnterEvent* event) {
    if (!m_bMouseOver) {
        m_bMouseOver = true;
        update();
    }
    QAbstractButton::enterEvent(event);
}

void CxSkinButton::leaveEvent(QEvent* event) {
    m_bMouseOver = false;
    update();
    QAbstractButton::leaveEvent(event);
}

void CxSkinButton::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        m_bMouseOver = false;  // the pressed look replaces the hover look
        m_bPressed = true;
    }
    QAbstractButton::mousePressEvent(event);
}

void CxSkinButton::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        m_bPressed = false;
    if (event->button() == Qt::RightButton && window() != this) {
        // The main window hears a right click on a button as one on itself.
        QMouseEvent moved(QEvent::MouseButtonRelease, mapTo(window(), event->position()),
                          event->globalPosition(), event->button(), event->buttons(),
                          event->modifiers());
        QCoreApplication::sendEvent(window(), &moved);
    }
    QAbstractButton::mouseReleaseEvent(event);
}

void CxSkinButton::mouseDoubleClickEvent(QMouseEvent* event) {
    mousePressEvent(event);  // a second click, not a double one
}

void CxSkinButton::focusOutEvent(QFocusEvent* event) {
    m_bPressed = false;
    QAbstractButton::focusOutEvent(event);
}
