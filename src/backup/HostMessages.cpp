#include "backup/HostMessages.h"

#include "backup/RemoteBackup.h"

#include <cstring>

#include "records/HostInfo.h"

void OnHostRecord(BackupContext& ctx, const std::string& block, bool dataPresent) {
    if (!dataPresent)
        return;
    const HostInfo h = ParseHostInfo(block);
    ctx.m_host.dateType = h.dateType;
    ctx.m_host.camCount = h.camCount;
    ctx.m_host.port = h.port;
    ctx.m_host.recorderKind = h.recorderKind;
    ctx.m_host.modelCode = h.modelCode;
    ctx.m_host.driveMask = h.driveMask;
    ctx.m_host.recordDriveMask = h.recordDriveMask;
    ctx.m_host.excludeDriveMask = h.excludeDriveMask;
    ctx.m_host.language = h.language;
    ctx.m_host.serverAddress = h.serverAddress;
    // Every clean-up deletes "Reserved" below the base folder: an empty one would put it at
    // the root of a drive, so the dialog's own base stays.
    if (!h.basePath.empty())
        ctx.m_host.basePath = h.basePath.back() == '\\' ? h.basePath : h.basePath + "\\";
    ctx.m_host.firstDrive = h.firstDrive;
    ctx.m_host.today = h.today;
    std::memcpy(ctx.m_host.cameraNames, h.cameraName, sizeof ctx.m_host.cameraNames);
    ctx.m_host.localMode = 0;
    ctx.m_profile.SetExePath(ctx.m_host.basePath, ctx.m_host.basePath, ctx.m_host.language, 0);
    // Remote mode's requests need the link at once; connecting only at start-up, before any
    // host record could have arrived, would leave remote mode without one.
    ConnectShareClient(ctx.m_host, ctx.m_link);
}

void OnDriveList(BackupContext& ctx, DWORD mask) {
    ctx.m_host.driveMask = mask;
    std::vector<std::string> roots;
    for (int d = 3; d <= 25; ++d)
        if (mask & (1u << d))
            roots.push_back(std::string(1, static_cast<char>('A' + d)) + ":\\");
    ctx.m_view.DrivesChanged(roots);
}

void OnDownloadProgress(BackupContext& ctx, const std::string& record, bool recordPresent) {
    if (!recordPresent)
        return;
    if (!ctx.m_link.downloadShown) {
        ctx.m_view.ShowDiscSpace(false);
        ctx.m_view.ShowProgress(true);
        ctx.m_view.SetProgressRange(0, 100);
        ctx.m_link.downloadShown = 1;
        return;
    }
    auto u32 = [&](std::size_t at) {
        std::uint32_t v = 0;
        for (std::size_t i = 0; i < 4; ++i)
            if (at + i < record.size())
                v |= static_cast<std::uint32_t>(static_cast<unsigned char>(record[at + i]))
                     << (8 * i);
        return v;
    };
    const DWORD total = u32(1028), done = u32(1036);
    // A total of 0 shows nothing done rather than a division by zero.
    ctx.m_view.SetProgressPos(total == 0 ? 0 : static_cast<int>((100.0 / total) * done));
    std::string name;
    for (std::size_t i = 4; i < 1028 && i < record.size() && record[i] != '\0'; ++i)
        name += record[i];
    std::string text;
    if (ctx.m_target.kind == backup::TargetKind::kDisc ||
        ctx.m_target.kind == backup::TargetKind::kFolder)
        text =
            ctx.GetLanguageText(
                "BACKUP", ctx.m_target.kind == backup::TargetKind::kDisc ? "M010010" : "M010011") +
            " [" + name + "]";
    ctx.m_view.SetStatusText(text);
}
