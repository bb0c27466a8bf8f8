#pragma once
// The preview on the left of the main dialog: the recorded days, newest first, in the date
// type's form (picking one makes it the backup day), the picture area of the playback
// component, its seven skinned buttons, the camera and the hour and minute to play from.
#include <QRect>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/CQuillonApp.h"
#include "backup/Session.h"
#include "ports/CDvrSearchStatic2.h"
#include "preview/PlaybackChoices.h"
#include "preview/PreviewControlIds.h"
#include "preview/PreviewDays.h"

class QTreeWidget;
class CxSkinButton;
class PreviewDayList;
class PreviewScreen;
class PreviewTimeChoice;
class PreviewTransport;

class CBackupPreviewDlg : public QWidget, public ISearchOwner {
    Q_OBJECT
  public:
    using DayPicked = std::function<void(const std::string& label)>;

    // session: the operator's, whose values the preview reads (date type, mode, cameras, the
    // chosen day). search: the playback component (a widget, which becomes the picture area),
    // or null.
    CBackupPreviewDlg(CQuillonApp& app, backup::Session& session, CDvrSearchStatic2* search,
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
    const QStringList& ListedDates() const;
    QTreeWidget* DayList() const;
    QWidget* PictureArea() const;
    CxSkinButton* Button(int id) const;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // Days as YYYY-MM-DD into the list, newest first, limited to the last day when asked.
    void FillDayList(std::vector<std::string> days);
    // The picked day's index is loaded and it becomes the backup day.
    void LoadPickedDay();
    // A newly picked day starts at its first picture, from 00:00.
    void StartPickedDay();
    void SelectCamera(int camera);
    PlayTime TakeTime() const;
    void Play(bool forward);
    void Step(bool forward);
    void ShowPictureArea();

    CQuillonApp& m_app;
    backup::Session& m_session;
    CDvrSearchStatic2* m_search;
    DayPicked dayPicked_;

    QRect m_rcPreviewWnd;
    // From the top down, created in this order, which is also the order of the focus chain.
    std::unique_ptr<PreviewDayList> m_days;
    std::unique_ptr<PreviewScreen> m_screen;
    std::unique_ptr<PreviewTimeChoice> m_time;
    std::unique_ptr<PreviewTransport> m_transport;
};
