// The preview's buttons, camera, time and speed, each turned into the playback component's calls
// with the chosen day, hour and minute.
#include <QWidget>
#include <ctime>

#include "platform/TimeZone.h"
#include "preview/CBackupPreviewDlg.h"
#include "preview/PreviewScreen.h"
#include "preview/PreviewTimeChoice.h"

void CBackupPreviewDlg::SelectCamera(int camera) {
    const DVR_SEARCHCAM cams = OneCamera(camera);
    if (!m_search)
        return;
    m_search->SetSearchCam(cams);
    m_search->SetOneChannelMode(camera);
}

PlayTime CBackupPreviewDlg::TakeTime() const {
    return PlayTimeOf(m_session.ChosenDay(), m_time->HourChosen(), m_time->MinuteChosen());
}

void CBackupPreviewDlg::ShowPictureArea() {
    m_screen->PictureArea()->setVisible(true);
}

void CBackupPreviewDlg::OnFirst() {
    m_time->SetTime(0, 0);
    if (m_search)
        m_search->Search_Return();
}

void CBackupPreviewDlg::OnLast() {
    m_time->SetTime(23, 59);
    if (m_search)
        m_search->Search_EndFrame();
}

void CBackupPreviewDlg::OnStop() {
    if (m_search)
        m_search->Search_Stop();
    LockTimeSelection(false);
}

void CBackupPreviewDlg::Step(bool forward) {
    ShowPictureArea();
    const PlayTime t = TakeTime();
    if (!m_search || m_search->CheckTodayPlayTime(t.year, t.month, t.day, t.hour, t.minute) != 1)
        return;
    if (forward)
        m_search->Search_NextFrame(0, t.year, t.month, t.day, t.hour, t.minute);
    else
        m_search->Search_PreviousFrame(0, t.year, t.month, t.day, t.hour, t.minute);
    m_search->SetZoom(4);
}

void CBackupPreviewDlg::OnPreviousFrame() {
    Step(false);
}

void CBackupPreviewDlg::OnNextFrame() {
    Step(true);
}

void CBackupPreviewDlg::Play(bool forward) {
    ShowPictureArea();
    if (m_session.ChosenDay().size() > 8)
        return;
    if (m_search) {
        PlayTime t = TakeTime();
        bool play = m_search->CheckTodayPlayTime(t.year, t.month, t.day, t.hour, t.minute) == 1;
        if (!play && m_search->CheckTodayPlayTime(t.year, t.month, t.day, t.hour, t.minute) ==
                         (forward ? 2 : 3)) {
            // Outside the window: from its start (forward) or from now (backward).
            const std::time_t from =
                static_cast<std::time_t>(forward ? m_search->WindowStart() : m_search->Now());
            std::tm local{};
            if (platform::LocalTimeAt(from, local)) {
                m_time->SetTime(local.tm_hour, local.tm_min);
                t = TakeTime();
                play = true;
            }
        }
        if (play) {
            if (forward)
                m_search->Search_ForwardPlay(0, t.year, t.month, t.day, t.hour, t.minute);
            else
                m_search->Search_BackwardPlay(0, t.year, t.month, t.day, t.hour, t.minute);
            m_search->SetZoom(4);
        }
    }
    LockTimeSelection(true);
}

void CBackupPreviewDlg::OnReverse() {
    Play(false);
}

void CBackupPreviewDlg::OnForward() {
    Play(true);
}

void CBackupPreviewDlg::OnCameraChange(int index) {
    if (m_search)
        m_search->Search_Stop();
    LockTimeSelection(false);
    SelectCamera(index);
}

void CBackupPreviewDlg::OnTimeChange() {
    if (m_search)
        m_search->UpdateLatesttime(m_time->HourChosen(), m_time->MinuteChosen(), 0, 0);
}

long CBackupPreviewDlg::OnSpeedMessage(std::uintptr_t wParam, std::intptr_t lParam) {
    if (wParam != static_cast<std::uintptr_t>(ctl::kSpeedSlider) || !m_search)
        return 0;
    const PlaySpeed speed = SpeedOfSlider(static_cast<int>(lParam & 0xFFFF));
    m_search->SetPlaySpeed(speed.steps, speed.mode);
    return 0;
}
