#include "backup/CopyEngine.h"

#include "platform/AtomicFile.h"
#include "platform/DrivePaths.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "storage/RecorderPaths.h"

void NoteTargetVolume(BackupContext& ctx) {
    const std::string root = paths::ImageRoot(ctx.m_nTargetType, ctx.m_strTargetText);
    ctx.m_targetVolume = root.empty() ? 0 : platform::VolumeOf(root);
    ctx.m_targetRootHost = root.empty() ? std::string() : platform::ResolvePath(root);
}

bool TargetLost(BackupContext& ctx, const std::string& what, bool afterFailure) {
    const std::string root = paths::ImageRoot(ctx.m_nTargetType, ctx.m_strTargetText);
    if (root.empty())
        return false;
    // The quick look, before every file: the target's folder still there, on its volume. What
    // else can befall it (read-only, full) shows as a failed write.
    if (!afterFailure && !ctx.m_targetRootHost.empty() &&
        platform::VolumeOf(ctx.m_targetRootHost) == ctx.m_targetVolume && ctx.m_targetVolume != 0)
        return false;
    std::string why;
    const bool writable = platform::FolderWritable(root, &why);
    if (writable && ctx.m_targetVolume && platform::VolumeOf(root) != ctx.m_targetVolume)
        why = "is gone (its volume was taken away)";
    else if (writable)
        return false;
    ctx.m_report.TargetLost("the target " + root + " " + why + "; the backup stopped" +
                            (what.empty() ? std::string() : " (" + what + ")"));
    // Nothing more can be written: the rest of the pass would only fail the same way, or land
    // on whatever is left under the target's name.
    ctx.m_bBackupRunning = 0;
    return true;
}

void DestinationFailed(BackupContext& ctx, const std::string& what, DWORD error,
                       const std::string& destination) {
    const std::string root = paths::ImageRoot(ctx.m_nTargetType, ctx.m_strTargetText);
    if (error == platform::ERROR_DISK_FULL && !root.empty()) {
        ctx.m_report.TargetLost("the target " + root + " is full; the backup stopped (" + what +
                                ")");
        ctx.m_bBackupRunning = 0;
        return;
    }
    if (TargetLost(ctx, what, true))
        return;
    // The file's own folder gone while the target is still there: the image is being taken
    // away from under the pass, folder by folder.
    const std::size_t cut = destination.find_last_of("\\/");
    const std::string folder =
        cut == std::string::npos ? std::string() : destination.substr(0, cut);
    if (!root.empty() && !folder.empty() && !platform::IsDirectory(folder)) {
        ctx.m_report.TargetLost("the image folder " + folder + " on the target " + root +
                                " is gone; the backup stopped (" + what + ")");
        ctx.m_bBackupRunning = 0;
        return;
    }
    ctx.m_report.Fail(what);
}

namespace {

BOOL CopyOne(BackupContext& ctx, const std::string& source, bool sourceResolved,
             const std::string& destination) {
    platform::File in;
    if (!(sourceResolved ? in.OpenResolved(source, platform::File::kRead)
                         : in.Open(source, platform::File::kRead))) {
        ctx.m_report.Fail(ctx.GetLanguageText("BACKUP", "M010035") + " " + source);
        return 0;
    }
    // A target taken away writes no error: each file looks before it is written.
    if (TargetLost(ctx, destination))
        return 0;
    platform::AtomicFile out;
    if (!out.Create(destination)) {
        DestinationFailed(ctx, ctx.GetLanguageText("BACKUP", "M010036") + " " + destination,
                          platform::GetLastError(), destination);
        return 0;
    }
    if (out.CopyFrom(in) < 0 || !out.Commit()) {
        const DWORD error = platform::GetLastError();
        out.Abandon();
        DestinationFailed(ctx, destination + " could not be copied", error, destination);
        return 0;
    }
    ctx.m_report.filesCopied++;
    return 1;
}

}  // namespace

BOOL CopyFilesToFolder(BackupContext& ctx, const std::string& path, const std::string& folder) {
    return CopyFoundFilesToFolder(ctx, platform::FindFiles(path), folder);
}

BOOL CopyFoundFilesToFolder(BackupContext& ctx, const std::vector<platform::FindData>& found,
                            const std::string& folder) {
    if (found.empty())
        return 0;
    if (!platform::CreateDirectory(folder) &&
        platform::GetLastError() == platform::ERROR_CANNOT_MAKE) {
        ctx.m_report.Fail("the destination folder " + folder + " could not be created");
        ctx.ShowMessage(ctx.GetLanguageText("BACKUP", "M010032"),
                        ctx.GetLanguageText("BACKUP", "M010033"), MB_ICONERROR);
        return 0;
    }
    // The folder is looked up once; the names made in it are taken as spelled.
    const std::string to = platform::ResolvePath(folder);
    for (const auto& f : found) {
        ctx.m_nDoneSize += static_cast<DWORD>(f.size / 1024);
        ctx.SetStatusText("[" + f.name + "] " + ctx.GetLanguageText("BACKUP", "M010034"));
        if (f.name == "." || f.isDirectory)
            continue;
        if (!CopyOne(ctx, f.hostPath, true,
                     to.empty() ? folder + "\\" + f.name : to + "/" + f.name))
            break;
        UpdateBackupProgress(ctx);
        if (!ctx.m_bBackupRunning)
            break;
    }
    return 1;
}

BOOL CopyFileOverlapped(BackupContext& ctx, const std::string& source,
                        const std::string& destination) {
    return CopyOne(ctx, source, false, destination);
}
