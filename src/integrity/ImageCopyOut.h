#pragma once
// Files of an image that is not a folder (a written disc) copied into a scratch folder of ours,
// for the readers that need them as files: the video export and the MP4 check.
#include <memory>
#include <string>
#include <vector>

#include "integrity/ImageFiles.h"
#include "platform/NamedLock.h"

namespace integrity {

// A scratch folder of this command's own, parent/stem-XXXXXX, locked while the object lives and
// deleted with it. What killed commands left beside it (folders of the same stem that no running
// command holds) is deleted first; those of commands still running are left alone.
class ScratchFolder {
  public:
    // The parent "" is the system's folder for temporary files.
    ScratchFolder(const std::string& parent, const std::string& stem);
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    // Its host path; "" when none could be made.
    const std::string& path() const { return path_; }

  private:
    std::string path_;
    std::unique_ptr<platform::NamedLock> lock_;
};

// The first folder names of the listing's paths (the image's entries and other top folders).
std::vector<std::string> TopFolders(const std::vector<ImageFiles::Entry>& listing);

// Copies the listed regular files whose paths begin with prefix into hostFolder, under their
// paths in the image; or says why not (a full disk, a file that cannot be read, a path that
// would leave the folder).
platform::Outcome CopyImageFilesOut(ImageFiles& image,
                                    const std::vector<ImageFiles::Entry>& listing,
                                    const std::string& prefix, const std::string& hostFolder);

}  // namespace integrity
