#pragma once
// The files of an image as a check reads them: a folder, or a disc read through its file system.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/Error.h"

namespace integrity {

class ImageFiles {
  public:
    struct Entry {
        std::string path;  // relative to the image root, with '/'
        long long size = 0;
        bool regular = true;
    };
    virtual ~ImageFiles() = default;
    // Where the image is, for the operator.
    virtual std::string Where() const = 0;
    // Every file below the root, or why the image cannot be listed.
    virtual platform::Expected<std::vector<Entry>> List() = 0;
    // Gives the file's bytes to sink, in order, or says why it cannot be read (the error's path
    // is the file's).
    using Sink = std::function<void(const char* bytes, std::size_t count)>;
    virtual platform::Outcome Read(const std::string& path, const Sink& sink) = 0;
    // The whole file when it is no longer than limit.
    platform::Expected<std::string> ReadWhole(const std::string& path,
                                              long long limit = 64LL << 20);
};

// A folder: a host path.
std::unique_ptr<ImageFiles> OpenFolderImage(const std::string& hostRoot);

// A relative path that stays below the root: no empty, "." or ".." part, not absolute.
bool SafeRelativePath(const std::string& path);

}  // namespace integrity
