#pragma once
// The dark screen of the preview and the picture area in it: the playback component itself when
// it is a window, else a dark place of its own. The component belongs to the main dialog, so the
// screen lets go of it before the preview's widgets are deleted.
class CDvrSearchStatic2;
class QBoxLayout;
class QSize;
class QWidget;

class PreviewScreen {
  public:
    // Creates the screen on parent, taking what is left of layout's height.
    PreviewScreen(QWidget* parent, QBoxLayout* layout, CDvrSearchStatic2* search);
    ~PreviewScreen();
    PreviewScreen(const PreviewScreen&) = delete;
    PreviewScreen& operator=(const PreviewScreen&) = delete;

    QWidget* PictureArea() const { return m_pictureArea; }
    // The screen grows with the window from this size; an empty size leaves it free.
    void SetMinimumSize(const QSize& size);

  private:
    QWidget* m_pictureArea;
    QWidget* m_screen;
    bool m_bComponent;  // the picture area is the playback component
};
