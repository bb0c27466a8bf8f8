#include "backup/HostMessages.h"

#include "backup/remote/RemoteBackup.h"

#include <cstddef>
#include <cstring>

#include "records/HostInfo.h"
#include "records/RemoteRecords.h"

void OnHostRecord(backup::HostSettings& host, CProfileReadWrite& profile, backup::LinkState& link,
                  const std::string& block, bool dataPresent) {
    if (!dataPresent)
        return;
    const HostInfo h = ParseHostInfo(block);
    host.dateType = h.dateType;
    host.camCount = h.camCount;
    host.port = h.port;
    host.recorderKind = h.recorderKind;
    host.modelCode = h.modelCode;
    host.driveMask = h.driveMask;
    host.recordDriveMask = h.recordDriveMask;
    host.excludeDriveMask = h.excludeDriveMask;
    host.language = h.language;
    host.serverAddress = h.serverAddress;
    // Every clean-up deletes "Reserved" below the base folder: an empty one would put it at
    // the root of a drive, so the dialog's own base stays.
    if (!h.basePath.empty())
        host.basePath = h.basePath.back() == '\\' ? h.basePath : h.basePath + "\\";
    host.firstDrive = h.firstDrive;
    host.today = h.today;
    std::memcpy(host.cameraNames, h.cameraName, sizeof host.cameraNames);
    host.localMode = 0;
    profile.SetExePath(host.basePath, host.basePath, host.language, 0);
    // Remote mode's requests need the link at once; connecting only at start-up, before any
    // host record could have arrived, would leave remote mode without one.
    ConnectShareClient(host, link);
}

void OnDriveList(backup::HostSettings& host, backup::IOperatorEvents& view, DWORD mask) {
    host.driveMask = mask;
    std::vector<std::string> roots;
    for (int d = 3; d <= 25; ++d)
        if (mask & (1u << d))
            roots.push_back(std::string(1, static_cast<char>('A' + d)) + ":\\");
    view.DrivesChanged(roots);
}

backup::LinkProgress ReadDownloadProgress(const std::string& record) {
    const auto u32 = [&](std::size_t at) {
        std::uint32_t v = 0;
        for (std::size_t i = 0; i < 4 && at + i < record.size(); ++i)
            v |= static_cast<std::uint32_t>(static_cast<unsigned char>(record[at + i])) << (8 * i);
        return v;
    };
    backup::LinkProgress p;
    const std::size_t name = offsetof(_DOWNLOADPROGRESS, szName);
    for (std::size_t i = name;
         i < name + sizeof(_DOWNLOADPROGRESS::szName) && i < record.size() && record[i] != '\0';
         ++i)
        p.item += record[i];
    p.total = u32(offsetof(_DOWNLOADPROGRESS, nTotal));
    p.done = u32(offsetof(_DOWNLOADPROGRESS, nDone));
    return p;
}

void OnDownloadProgress(backup::LinkState& link, const backup::TargetChoice& target,
                        const backup::OperatorPrompts& prompts, backup::IOperatorEvents& view,
                        const backup::LinkProgress& progress) {
    if (!link.downloadShown) {
        view.MeterChanged(backup::Meter::kProgress);
        link.downloadShown = 1;
        return;
    }
    // A total of 0 shows nothing done rather than a division by zero.
    view.ProgressMoved(
        progress.total == 0 ? 0 : static_cast<int>((100.0 / progress.total) * progress.done));
    std::string text;
    if (target.kind == backup::TargetKind::kDisc || target.kind == backup::TargetKind::kFolder)
        text = prompts.Text("BACKUP",
                            target.kind == backup::TargetKind::kDisc ? "M010010" : "M010011") +
               " [" + progress.item + "]";
    view.StatusChanged(text);
}
