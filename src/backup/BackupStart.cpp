#include "backup/BackupStart.h"

#include <cctype>

#include "backup/BackupWorker.h"
#include "backup/ControlsState.h"
#include "backup/EntrySize.h"
#include "backup/ScheduleCommands.h"
#include "platform/DrivePaths.h"
#include "platform/DriveTable.h"

int ClassifyTargetDrive(BackupContext& ctx, char driveLetter) {
    if (driveLetter < 'A' || driveLetter > 'Z')
        return 0;
    ctx.m_nTargetDrive = driveLetter - 'A';
    const std::string root = std::string(1, driveLetter) + ":\\";
    if (platform::GetDriveTypeA(root) == platform::DRIVE_CDROM)
        return 2;
    return (platform::GetLogicalDrives() >> ctx.m_nTargetDrive) & 1u ? 3 : 0;
}

std::string ChooseStorageTarget(BackupContext& ctx, const std::string& folder) {
    if (folder.empty())
        return std::string();
    ctx.m_nTargetType = ClassifyTargetDrive(ctx, folder[0]);
    std::string refused;
    if (ctx.m_nTargetType == 0) {
        refused = ctx.Refuse("M010020");
        ctx.m_strTargetText.clear();
        ctx.m_bDiscTarget = 0;
        UpdateDiscSpaceBar(ctx, false);
    } else if (ctx.m_nTargetType == 2) {
        // Writing discs needs the disc writer, which this build does not have.
        ctx.m_bDiscTarget = 0;
        UpdateDiscSpaceBar(ctx, false);
        refused = ctx.Refuse("M010022");
        ctx.m_strTargetText.clear();
    } else {
        ctx.m_strTargetText = folder;
        ctx.m_bDiscTarget = 0;
        UpdateDiscSpaceBar(ctx, false);
        ctx.m_view.EnableItem(ctl::kIncludeViewer, true);
    }
    ctx.m_view.SetItemText(ctl::kTarget, ctx.m_strTargetText);
    return refused;
}

bool HasFolderSpace(const BackupContext& ctx, const std::string& path) {
    std::uint64_t freeBytes = 0;
    if (!platform::GetDiskFreeSpaceExA(path, &freeBytes, nullptr, nullptr))
        return false;
    const std::uint64_t freeMB = freeBytes / 1048576;
    std::uint64_t need = ctx.m_nTotalSize;
    if (need > 1024)
        need /= 1024;
    return need < freeMB;
}

std::string CheckBackupStart(BackupContext& ctx) {
    auto text = [&](const std::string& key) { return ctx.GetLanguageText("BACKUP", key); };
    if (ctx.m_bBackupRunning)
        return ctx.Refuse("M010016");
    if (ctx.m_bDiscWriting)
        return ctx.Refuse("M010017");
    if (ctx.m_lbSchedule.empty())
        return ctx.Refuse("M010024");
    switch (ctx.m_nTargetType) {
        case 3:
            if (!HasFolderSpace(ctx, ctx.m_strTargetText.substr(0, 2)))
                return ctx.Refuse("M010028", text("M010028") + "[" + text("M010030") + "]");
            break;
        case 2:
            return ctx.Refuse("M010022");
        default:
            return ctx.Refuse("M010027");
    }
    return std::string();
}

std::string OnOK(BackupContext& ctx, BackupWorker& worker) {
    const std::string refused = CheckBackupStart(ctx);
    if (!refused.empty())
        return refused;
    ctx.m_bBackupRunning = 1;
    SetControlsState(ctx, 0);
    ctx.m_view.SetPreviewControlsState(0);
    ctx.m_bIncludeViewer = ctx.m_view.IsItemChecked(ctl::kIncludeViewer) ? 1 : 0;
    ctx.m_view.EnableItem(ctl::kIncludeViewer, false);
    ctx.m_view.ShowItem(ctl::kStatusLine, true);
    worker.Signal();
    return std::string();
}

bool CancelRunningBackup(BackupContext& ctx) {
    if (!ctx.m_bBackupRunning)
        return false;
    const std::string question =
        ctx.GetLanguageText("BACKUP", "M010038") + "\n" + ctx.GetLanguageText("BACKUP", "M010026");
    if (ctx.ShowMessage(question, "Backup", MB_YESNO) != IDYES)
        return false;
    ctx.m_bBackupRunning = 0;
    return true;
}
