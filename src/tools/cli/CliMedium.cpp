// What an encrypted medium carries beside its archives: the browser viewer, taken as a backup
// with the viewer takes it, and the README that describes each archive on it.
#include <cstdio>

#include "CliCommands.h"
#include "backup/disc/FolderDiscWrite.h"
#include "backup/pass/BackupPackage.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/ProgramFolders.h"

namespace {

constexpr long long kReadmeLimit = 1 << 20;

}  // namespace

platform::Expected<backup::HostSettings> ViewerSource(const CliOptions& options) {
    backup::HostSettings host;
    const platform::ProgramFolders folders = platform::CurrentProgramFolders();
    if (options.base.empty()) {
        // An installed program's own base folder reaches the viewer through links to its data.
        if (const platform::Outcome ready = platform::PrepareBaseFolder(folders); !ready)
            return ready.error();
        host.basePath = platform::DriveFolderOf(folders.base);
    } else {
        host.basePath = CommandLineFolder(options.base);
        if (host.basePath.empty() || host.basePath.back() != '\\')
            host.basePath += '\\';
    }
    if (const platform::Outcome there = CheckViewerFiles(host); !there)
        return there.error();
    return host;
}

platform::Expected<std::string> MediumReadme(const std::string& hostFolder) {
    const std::string path = hostFolder + "/" + kMediumReadmeName;
    std::string text;
    using platform::Error;
    if (const std::string what = platform::NotAFile(path); !what.empty())
        return Error{Error::Kind::kRefused, "is " + what + ", not a file", path};
    if (!platform::FileExists(path))
        return text;
    if (!platform::ReadWholeFile(path, text, kReadmeLimit))
        return Error{Error::Kind::kFailed, "cannot be read (a README is at most 1 MiB)", path};
    return text;
}

bool WriteMediumViewer(const backup::HostSettings& host, const std::string& hostFolder) {
    const std::vector<std::string> failed = CopyViewerInto(host, hostFolder + "/BackupViewer/");
    for (const std::string& failure : failed)
        Fail(failure);
    return failed.empty();
}

std::string BurnMedium(const std::string& drive, const std::string& hostFolder, bool progress) {
    backup::FolderDiscWrite disc(DiscWriter);
    int said = -1;
    return disc.Write(drive, hostFolder, [&](const backup::DiscEvent& e) {
        using Kind = backup::DiscEvent::Kind;
        const int percent = e.kind == Kind::kPercent ? e.percent
                            : e.kind == Kind::kProgress && e.total > 0
                                ? static_cast<int>(e.done * 100 / e.total)
                                : -1;
        if (progress && percent >= 0 && percent / 10 != said / 10) {
            said = percent;
            std::fprintf(stderr, "writing the disc in %s: %d%%\n", drive.c_str(), percent);
        }
    });
}
