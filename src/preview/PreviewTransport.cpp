#include "preview/PreviewTransport.h"

#include <QBoxLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QSlider>
#include <initializer_list>

#include "app/CQuillonApp.h"
#include "controls/CxSkinButton.h"
#include "preview/PreviewCaptions.h"
#include "preview/PreviewControlIds.h"

namespace {

struct ButtonSkin {
    int id;
    const char* key;
    const char* tooltip;
};

// In the order the bar shows them.
constexpr ButtonSkin kButtons[7] = {
    {ctl::kViewFirst, "ViewFirst", "B010008"},     {ctl::kViewPrevious, "ViewPrevious", "B010009"},
    {ctl::kViewReverse, "ViewReverse", "B010010"}, {ctl::kViewStop, "ViewStop", "B010011"},
    {ctl::kViewForward, "ViewForward", "B010012"}, {ctl::kViewNext, "ViewNext", "B010013"},
    {ctl::kViewLast, "ViewLast", "B010014"},
};

}  // namespace

PreviewTransport::PreviewTransport(QWidget* parent, QBoxLayout* layout) {
    auto* transport = new QHBoxLayout;
    m_buttonBar = new QWidget(parent);
    for (const ButtonSkin& s : kButtons) {
        auto* b = new CxSkinButton(m_buttonBar);
        b->setObjectName(QString("c%1").arg(s.id));
        m_buttons[static_cast<std::size_t>(s.id - ctl::kViewFirst)] = b;
    }
    transport->addWidget(m_buttonBar);
    m_sliderSpeed = new QSlider(Qt::Horizontal, parent);
    m_sliderSpeed->setObjectName("c1122");
    for (QWidget* w : std::initializer_list<QWidget*>{
             PreviewCaption(ctl::kSpeedCaption, parent), PreviewCaption(ctl::kSpeedSlow, parent),
             m_sliderSpeed, PreviewCaption(ctl::kSpeedFast, parent)}) {
        transport->addWidget(w);
        w->hide();
    }
    transport->addStretch(1);
    layout->addLayout(transport);
}

CxSkinButton* PreviewTransport::Button(int id) const {
    const int i = id - ctl::kViewFirst;
    return i >= 0 && i < 7 ? m_buttons[static_cast<std::size_t>(i)] : nullptr;
}

void PreviewTransport::ApplySkin(CQuillonApp& app) {
    const SkinBitmaps bitmaps = SkinBitmaps::FromFiles(app.m_bmpSkin);
    QRect bar;
    for (const ButtonSkin& s : kButtons) {
        CxSkinButton* b = Button(s.id);
        b->SetSkinPath(app.m_strExePath);
        b->SetLanguageFile(app.LanguageFile());
        b->SetSkinInfo("BackupDlg", s.key, "BackupDlg", s.key, 0xFFFFFF, bitmaps);
        const std::string tip = app.GetLanguageText("BACKUP", s.tooltip);
        b->SetToolTipText(tip);
        b->setAccessibleName(QString::fromStdString(tip));  // the buttons show no words
        bar = bar.united(b->geometry());
    }
    m_buttonBar->setFixedSize(bar.right() + 3, bar.bottom() + 3);
}

void PreviewTransport::ResetSpeed() {
    const QSignalBlocker quiet(m_sliderSpeed);
    m_sliderSpeed->setRange(0, 10);
    m_sliderSpeed->setValue(5);
}
