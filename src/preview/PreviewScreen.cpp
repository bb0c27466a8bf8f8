#include "preview/PreviewScreen.h"

#include <QBoxLayout>
#include <QWidget>

#include "ports/CDvrSearchStatic2.h"

namespace {

void PaintBlack(QWidget* w) {
    w->setAutoFillBackground(true);
    QPalette dark = w->palette();
    dark.setColor(QPalette::Window, Qt::black);
    w->setPalette(dark);
}

}  // namespace

PreviewScreen::PreviewScreen(QWidget* parent, QBoxLayout* layout, CDvrSearchStatic2* search) {
    m_pictureArea = dynamic_cast<QWidget*>(search);
    m_bComponent = m_pictureArea != nullptr;
    if (!m_pictureArea) {
        m_pictureArea = new QWidget(parent);
        m_pictureArea->setObjectName("c1105");
        PaintBlack(m_pictureArea);
    }
    // The picture area stays hidden until the first picture; the screen is dark meanwhile.
    m_screen = new QWidget(parent);
    PaintBlack(m_screen);
    auto* screenLayout = new QVBoxLayout(m_screen);
    screenLayout->setContentsMargins(0, 0, 0, 0);
    m_pictureArea->setParent(m_screen);
    m_pictureArea->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    screenLayout->addWidget(m_pictureArea);
    m_screen->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    layout->addWidget(m_screen, 1);
}

PreviewScreen::~PreviewScreen() {
    if (m_bComponent)
        m_pictureArea->setParent(nullptr);
}

void PreviewScreen::SetMinimumSize(const QSize& size) {
    if (!size.isEmpty())
        m_screen->setMinimumSize(size);
}
