#include "backup/DialogStart.h"

#include <cstdio>
#include <cstring>
#include <ctime>

#include "backup/CameraSelection.h"
#include "backup/ReservedFolder.h"
#include "backup/ScheduleCommands.h"
#include "backup/WriteGuard.h"
#include "platform/DrivePaths.h"
#include "platform/FileSystem.h"

void SetStartValues(BackupContext& ctx, CQuillonApp& app) {
    ctx.m_schedule.totalKB = 0;
    ctx.m_host.localMode = 1;
    ctx.m_host.dateType = 0;
    ctx.m_host.recorderKind = 4;
    ctx.m_host.camCount = 64;
    ctx.m_host.port = app.m_nPort;
    ctx.m_host.modelCode = 0x670;
    ctx.m_host.driveMask = platform::GetLogicalDrives();
    ctx.m_host.excludeDriveMask = 0;
    ctx.m_host.language = "eng";
    ctx.m_host.serverAddress = app.m_strServerAddress;
    ctx.m_host.firstDrive = 3;
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char today[32];
    std::snprintf(today, sizeof today, "%d%02d%02d", local.tm_year + 1900, local.tm_mon + 1,
                  local.tm_mday);
    ctx.m_host.today = today;
    ctx.m_host.recordDriveMask = 0;
    app.m_bUseDrives = 0;
    std::memset(ctx.m_host.cameraNames, 0, sizeof ctx.m_host.cameraNames);
}

void ResetControls(BackupContext& ctx) {
    ctx.m_chooser.ClearTimeRows();
    ctx.m_view.EnablePageButtons(ctx.m_host.camCount > 16);
    ctx.m_view.EnableSelectAll(false);
    ctx.m_schedule.rows.clear();
    ctx.m_view.ScheduleListChanged(ctx.m_schedule.rows);
    ctx.m_view.EnableUpdate(false);
    ctx.m_chooser.ResetCameraBoxes();
    std::memset(ctx.m_day.camSel, 0, sizeof ctx.m_day.camSel);
}

void RestoreSchedule(BackupContext& ctx) {
    std::memset(ctx.m_schedule.table.data(), 0, sizeof ctx.m_schedule.table);
    ctx.m_schedule.totalKB = 0;
    // A working folder that is a link could lead every write and the clean-up elsewhere: the
    // schedule then starts empty and Add refuses with the same words.
    if (const std::string problem = WorkingFolderProblem(ctx.m_host); !problem.empty()) {
        ctx.ShowMessage(ctx.GetLanguageText("BACKUP", "Q010005") + "\n" + problem);
        FillScheduleList(ctx);
        return;
    }
    platform::CreateDirectory(ctx.WorkingFolder());
    LoadScheduleTable(ctx.m_host, ctx.m_schedule, ctx.m_prompts);
    FillScheduleList(ctx);
}
