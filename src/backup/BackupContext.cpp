#include "backup/BackupContext.h"

#include <cstdio>
#include <cstring>

#include "backup/remote/RemoteBackup.h"
#include "backup/schedule/EntrySize.h"

void BackupContext::Clear() {
    m_host = backup::HostSettings();
    m_day = backup::DaySelection();
    m_cameraPage = backup::CameraPage();
    for (int i = 0; i < backup::kCamerasPerPage; ++i) {
        char caption[8];
        std::snprintf(caption, sizeof caption, "%02d", i + 1);
        m_cameraPage.cameras[static_cast<std::size_t>(i)].name = caption;
    }
    m_schedule = backup::ScheduleState();
    m_target = backup::TargetChoice();
    m_run.includeViewer = 0;
    m_disc.erasing = 0;
    m_link.downloadShown = false;
    m_run.doneSize = 0;
    m_run.running = 0;
    m_disc.writing = 0;
}

void BackupContext::AskDayIndex(const std::string& day) {
    RequestDayIndex(m_host, m_link, day);
}

backup::CommandResult BackupContext::AskEntrySize(const std::string& entry,
                                                  const std::string& start,
                                                  const std::string& end) {
    return m_linkAnswers.RequestEntrySize(entry, start, end);
}
