#include "preview/PreviewTimeChoice.h"

#include <QBoxLayout>
#include <QComboBox>
#include <QLabel>
#include <initializer_list>

#include "preview/PreviewCaptions.h"
#include "preview/PreviewControlIds.h"

namespace {

QString Two(int v) {
    return QString("%1").arg(v, 2, 10, QChar('0'));
}

}  // namespace

PreviewTimeChoice::PreviewTimeChoice(QWidget* parent, QBoxLayout* layout) {
    auto* choice = new QHBoxLayout;
    QLabel* cameraCaption = PreviewCaption(ctl::kPlayCameraCaption, parent);
    m_cbCamera = new QComboBox(parent);
    m_cbCamera->setObjectName("c1115");
    cameraCaption->setBuddy(m_cbCamera);
    QLabel* hourCaption = PreviewCaption(ctl::kPlayHourCaption, parent);
    m_cbHour = new QComboBox(parent);
    m_cbHour->setObjectName("c1132");
    hourCaption->setBuddy(m_cbHour);
    QLabel* minuteCaption = PreviewCaption(ctl::kPlayMinuteCaption, parent);
    m_cbMinute = new QComboBox(parent);
    m_cbMinute->setObjectName("c1133");
    minuteCaption->setBuddy(m_cbMinute);
    for (QWidget* w : std::initializer_list<QWidget*>{cameraCaption, m_cbCamera, hourCaption,
                                                      m_cbHour, minuteCaption, m_cbMinute})
        choice->addWidget(w);
    choice->addStretch(1);
    layout->addLayout(choice);
}

void PreviewTimeChoice::Fill(int cameras) {
    for (int c = 1; c <= cameras; ++c)
        m_cbCamera->addItem(QString::number(c));
    m_cbCamera->setCurrentIndex(m_cbCamera->count() > 0 ? 0 : -1);
    for (int h = 0; h < 24; ++h)
        m_cbHour->addItem(Two(h));
    for (int m = 0; m < 60; ++m)
        m_cbMinute->addItem(Two(m));
    m_cbHour->setCurrentIndex(0);
    m_cbMinute->setCurrentIndex(0);
}

int PreviewTimeChoice::HourChosen() const {
    return m_cbHour->currentIndex();
}

int PreviewTimeChoice::MinuteChosen() const {
    return m_cbMinute->currentIndex();
}

void PreviewTimeChoice::SetTime(int hour, int minute) {
    if (hour == m_cbHour->currentIndex() && minute == m_cbMinute->currentIndex())
        return;
    m_cbHour->setCurrentIndex(hour);
    m_cbMinute->setCurrentIndex(minute);
}

void PreviewTimeChoice::Lock(bool playing) {
    m_cbHour->setEnabled(!playing);
    m_cbMinute->setEnabled(!playing);
}
