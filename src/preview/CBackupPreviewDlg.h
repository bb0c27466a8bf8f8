#pragma once
// The preview on the left of the main dialog: the recorded days, newest first, in the date
// type's form (picking one makes it the backup day), the picture area of the playback
// component, its seven skinned buttons, the camera and the hour and minute to play from.
#include <QRect>
#include <QStringList>
#include <QWidget>
#include <array>
#include <functional>
#include <string>
#include <vector>

#include "app/CQuillonApp.h"
#include "backup/BackupContext.h"
#include "ports/CDvrSearchStatic2.h"
#include "preview/PlaybackChoices.h"
#include "preview/PreviewControlIds.h"
#include "preview/PreviewDays.h"

class QComboBox;
class QLabel;
class QSlider;
class QTreeWidget;
class CxSkinButton;

class CBackupPreviewDlg : public QWidget, public ISearchOwner {
    Q_OBJECT
  public:
    using DayPicked = std::function<void(const std::string& label)>;

    // ctx: the main dialog's values the preview reads (date type, mode, cameras, the chosen
    // day). search: the playback component (a widget, which becomes the picture area), or null.
    CBackupPreviewDlg(CQuillonApp& app, BackupContext& ctx, CDvrSearchStatic2* search,
                      QWidget* parent = nullptr);
    ~CBackupPreviewDlg() override;

    // The start of the preview in its order: the skin, the playback component's settings, the
    // day list's look, the camera and time combos, the labels. Without a component the recorded
    // days are listed at once.
    void OnInitDialog();
    // A picked day goes to the main dialog's day selection.
    void SetDayPicked(DayPicked handler) { dayPicked_ = std::move(handler); }
    // 1 enables the preview's controls, 0 and 2 disable them.
    void SetPreviewControlsState(int mode);
    // Playing keeps the hour and minute where they are until Stop.
    void LockTimeSelection(bool playing);
    // The playback component's notifications: 110 the day list is ready, 126 a picture's time.
    void OnSearchNotify(unsigned wParam, const std::vector<std::int32_t>& fields) override;
    // The speed of play from the slider's position (wParam 1122, position in lParam's low word).
    long OnSpeedMessage(std::uintptr_t wParam, std::intptr_t lParam);
    // A click on row (-1: below the last day).
    void OnDateListClick(int row);
    // The listed days again in the date type, which a host record may have changed; the day
    // picked stays picked.
    void RelabelDays();

    // The buttons' commands.
    void OnFirst();
    void OnPreviousFrame();
    void OnReverse();
    void OnStop();
    void OnForward();
    void OnNextFrame();
    void OnLast();
    void OnCameraChange(int index);
    void OnTimeChange();

    // The rectangle the main dialog gives the preview (btn.pos "PreviewWnd").
    QRect PreviewRect() const { return m_rcPreviewWnd; }
    // The days put into the list (their count is what the preview uses).
    const QStringList& ListedDates() const { return m_saListedDates; }
    QTreeWidget* DayList() const { return m_listDate; }
    QWidget* PictureArea() const { return m_pictureArea; }
    CxSkinButton* Button(int id) const;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // Days as YYYY-MM-DD into the list, newest first, limited to the last day when asked.
    void FillDayList(std::vector<std::string> days);
    void SelectCamera(int camera);
    void SetTimeCombos(int hour, int minute);
    PlayTime TakeTime() const;
    void Play(bool forward);
    void Step(bool forward);
    void ShowPictureArea();

    CQuillonApp& m_app;
    BackupContext& m_ctx;
    DayPicked dayPicked_;

    QRect m_rcPreviewWnd;
    QFont m_fontList;
    QStringList m_saListedDates;
    QComboBox* m_cbMinute;
    QComboBox* m_cbHour;
    std::array<CxSkinButton*, 7> m_buttons{};  // 1106 to 1112 by id
    QTreeWidget* m_listDate;
    CDvrSearchStatic2* m_search;
    QSlider* m_sliderSpeed;

    QWidget* m_pictureArea;
    QWidget* m_screen;
    QWidget* m_buttonBar;
    QComboBox* m_cbCamera;
    QLabel* m_dateCaption;
    std::string m_strSelDate;  // the label of the chosen day
    bool m_bFilling = false;   // the list is being filled: its changes are no operator's
};
