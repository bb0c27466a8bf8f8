#pragma once
// The camera to play and the hour and minute to play from, each a combo with its caption, in one
// row. Playing locks the hour and minute; the component's pictures move them along.
class QBoxLayout;
class QComboBox;
class QWidget;

class PreviewTimeChoice {
  public:
    // Creates the row on parent at the end of layout.
    PreviewTimeChoice(QWidget* parent, QBoxLayout* layout);

    QComboBox* Camera() const { return m_cbCamera; }
    QComboBox* Hour() const { return m_cbHour; }
    QComboBox* Minute() const { return m_cbMinute; }

    // Cameras 1 to cameras, hours 00 to 23, minutes 00 to 59, the first of each chosen.
    void Fill(int cameras);
    int HourChosen() const;
    int MinuteChosen() const;
    // Chooses hour and minute unless they are chosen already.
    void SetTime(int hour, int minute);
    // Playing keeps the hour and minute where they are.
    void Lock(bool playing);

  private:
    QComboBox* m_cbCamera;
    QComboBox* m_cbHour;
    QComboBox* m_cbMinute;
};
