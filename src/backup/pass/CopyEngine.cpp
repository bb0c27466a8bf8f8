#include "backup/pass/CopyEngine.h"

#include "platform/AtomicFile.h"
#include "platform/DrivePaths.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "storage/RecorderPaths.h"

bool TargetLost(backup::PassJob& job, const std::string& what, bool afterFailure) {
    const backup::ImageSink& sink = job.sink();
    const std::string& root = sink.root();
    if (root.empty())
        return false;
    // The quick look, before every file: the target's folder still there, on its volume. What
    // else can befall it (read-only, full) shows as a failed write.
    if (!afterFailure && !sink.rootHost().empty() &&
        platform::VolumeOf(sink.rootHost()) == sink.volume() && sink.volume() != 0)
        return false;
    const platform::Outcome writable = platform::FolderWritable(root);
    std::string why = writable ? std::string() : writable.error().text;
    if (writable && sink.volume() && platform::VolumeOf(root) != sink.volume())
        why = "is gone (its volume was taken away)";
    else if (writable)
        return false;
    job.report().TargetLost("the target " + root + " " + why + "; the backup stopped" +
                            (what.empty() ? std::string() : " (" + what + ")"));
    // Nothing more can be written: the rest of the pass would only fail the same way, or land
    // on whatever is left under the target's name.
    job.Stop();
    return true;
}

void DestinationFailed(backup::PassJob& job, const std::string& what, DWORD error,
                       const std::string& destination) {
    const std::string& root = job.sink().root();
    if (error == platform::ERROR_DISK_FULL && !root.empty()) {
        job.report().TargetLost("the target " + root + " is full; the backup stopped (" + what +
                                ")");
        job.Stop();
        return;
    }
    if (TargetLost(job, what, true))
        return;
    // The file's own folder gone while the target is still there: the image is being taken
    // away from under the pass, folder by folder.
    const std::size_t cut = destination.find_last_of("\\/");
    const std::string folder =
        cut == std::string::npos ? std::string() : destination.substr(0, cut);
    if (!root.empty() && !folder.empty() && !platform::IsDirectory(folder)) {
        job.report().TargetLost("the image folder " + folder + " on the target " + root +
                                " is gone; the backup stopped (" + what + ")");
        job.Stop();
        return;
    }
    job.report().Fail(what);
}

namespace {

bool CopyOne(backup::PassJob& job, const std::string& source, bool sourceResolved,
             const std::string& destination) {
    platform::File in;
    if (!(sourceResolved ? in.OpenResolved(source, platform::File::kRead)
                         : in.Open(source, platform::File::kRead))) {
        job.report().Fail(job.plan().texts.cannotRead + " " + source);
        return false;
    }
    // A target taken away writes no error: each file looks before it is written.
    if (TargetLost(job, destination))
        return false;
    platform::AtomicFile out;
    if (const platform::Status created = out.Create(destination); !created) {
        DestinationFailed(job, job.plan().texts.cannotWrite + " " + destination, created.code(),
                          destination);
        return false;
    }
    platform::Status copied = out.CopyFrom(in);
    if (copied)
        copied = out.Commit();
    if (!copied) {
        out.Abandon();
        DestinationFailed(job, destination + " could not be copied", copied.code(), destination);
        return false;
    }
    job.report().filesCopied++;
    return true;
}

}  // namespace

bool CopyFilesToFolder(backup::PassJob& job, const std::string& path, const std::string& folder) {
    return CopyFoundFilesToFolder(job, platform::FindFiles(path), folder);
}

bool CopyFoundFilesToFolder(backup::PassJob& job, const std::vector<platform::FindData>& found,
                            const std::string& folder) {
    if (found.empty())
        return false;
    if (const platform::Status made = platform::CreateDirectory(folder);
        !made && made.code() == platform::ERROR_CANNOT_MAKE) {
        job.report().Fail("the destination folder " + folder + " could not be created");
        job.events().Problem(job.plan().texts.folderFailed, job.plan().texts.folderFailedCaption);
        return false;
    }
    // The folder is looked up once; the names made in it are taken as spelled.
    const std::string to = platform::ResolvePath(folder);
    for (const auto& f : found) {
        job.doneSize += static_cast<DWORD>(f.size / 1024);
        job.events().Status("[" + f.name + "] " + job.plan().texts.copying);
        if (f.name == "." || f.isDirectory)
            continue;
        if (!CopyOne(job, f.hostPath, true,
                     to.empty() ? folder + "\\" + f.name : to + "/" + f.name))
            break;
        backup::UpdatePassProgress(job);
        if (!job.running())
            break;
    }
    return true;
}

bool CopyFileOverlapped(backup::PassJob& job, const std::string& source,
                        const std::string& destination) {
    return CopyOne(job, source, false, destination);
}
