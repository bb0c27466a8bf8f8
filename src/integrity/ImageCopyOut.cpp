#include "integrity/ImageCopyOut.h"

#include <set>

#include "platform/File.h"
#include "platform/FileSystem.h"

namespace integrity {

ScratchFolder::ScratchFolder(const std::string& parent, const std::string& stem) {
    const std::string where = parent.empty() ? platform::TempFolder() : parent;
    // The folder's lock is held from the leftovers' deletion to the new folder's own lock, so
    // that no command takes the other's new folder for a leftover.
    const platform::NamedLock::Attempt guard = platform::NamedLock::AcquireFolder(where, true);
    if (guard.lock) {
        for (const platform::FindData& f : platform::FindFiles(where + "/" + stem + "-*")) {
            if (!f.isDirectory || f.isLink)
                continue;
            const std::string left = where + "/" + f.name;
            if (const platform::NamedLock::Attempt held =
                    platform::NamedLock::AcquireFolder(left, false);
                held.lock)
                platform::DeleteTree(left);
        }
    }
    path_ = platform::MakeScratchFolder(where, stem);
    if (path_.empty())
        return;
    platform::NamedLock::Attempt own = platform::NamedLock::AcquireFolder(path_, false);
    lock_ = std::move(own.lock);
}

ScratchFolder::~ScratchFolder() {
    if (!path_.empty())
        platform::DeleteTree(path_);
}

std::vector<std::string> TopFolders(const std::vector<ImageFiles::Entry>& listing) {
    std::set<std::string> names;
    for (const auto& e : listing)
        if (const std::size_t slash = e.path.find('/'); slash != std::string::npos && slash > 0)
            names.insert(e.path.substr(0, slash));
    return {names.begin(), names.end()};
}

platform::Outcome CopyImageFilesOut(ImageFiles& image,
                                    const std::vector<ImageFiles::Entry>& listing,
                                    const std::string& prefix, const std::string& hostFolder) {
    using platform::Error;
    for (const auto& e : listing) {
        if (!e.regular || e.path.compare(0, prefix.size(), prefix) != 0)
            continue;
        // A disc's names are its writer's: one that climbs out is refused, not followed.
        if (!SafeRelativePath(e.path))
            return Error{Error::Kind::kRefused, "the image names a file outside itself: " + e.path,
                         ""};
        const std::string target = hostFolder + "/" + e.path;
        const std::size_t slash = target.rfind('/');
        if (!platform::CreateDirectoryTree(target.substr(0, slash)))
            return Error{Error::Kind::kFailed, "the folder of " + target + " cannot be made", ""};
        platform::File out;
        if (!out.Open(target, platform::File::kCreateNew))
            return Error{Error::Kind::kFailed, "cannot be written", target};
        bool written = true;
        const platform::Outcome read =
            image.Read(e.path, [&](const char* bytes, std::size_t count) {
                written = written && out.Write(bytes, count);
            });
        if (!read)
            return Error{read.error().kind, "cannot be read from the image: " + read.error().text,
                         e.path};
        if (!written)
            return Error{Error::Kind::kFailed, "cannot be written (is the disk full?)", target};
    }
    return platform::Succeeded();
}

}  // namespace integrity
