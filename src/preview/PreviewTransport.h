#pragma once
// The preview's transport row: the seven skinned buttons in a bar, each placed by its btn.pos
// entry, and the speed slider with its captions, which stay hidden as the dialog has them.
#include <array>

class CQuillonApp;
class CxSkinButton;
class QBoxLayout;
class QSlider;
class QWidget;

class PreviewTransport {
  public:
    // Creates the row on parent at the end of layout.
    PreviewTransport(QWidget* parent, QBoxLayout* layout);

    // The button of control number id (1106 to 1112); null for another number.
    CxSkinButton* Button(int id) const;
    const std::array<CxSkinButton*, 7>& Buttons() const { return m_buttons; }
    QSlider* Slider() const { return m_sliderSpeed; }

    // The buttons' images, places and tooltips from the skin and the language file; the bar
    // takes the size of the buttons' places.
    void ApplySkin(CQuillonApp& app);
    // The slider at the recorded pace, without a speed change being reported.
    void ResetSpeed();

  private:
    std::array<CxSkinButton*, 7> m_buttons{};  // 1106 to 1112 by id
    QWidget* m_buttonBar;
    QSlider* m_sliderSpeed;
};
