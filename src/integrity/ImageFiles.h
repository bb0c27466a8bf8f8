#pragma once
// The files of an image as a check reads them: a folder, or a disc read through its file system.
#include <functional>
#include <memory>
#include <string>
#include <vector>

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
    // Every file below the root; false with why when the image cannot be listed.
    virtual bool List(std::vector<Entry>& out, std::string& why) = 0;
    // Gives the file's bytes to sink, in order; false with why when it cannot be read.
    using Sink = std::function<void(const char* bytes, std::size_t count)>;
    virtual bool Read(const std::string& path, const Sink& sink, std::string& why) = 0;
    // The whole file when it is no longer than limit.
    bool ReadWhole(const std::string& path, std::string& out, std::string& why,
                   long long limit = 64LL << 20);
};

// A folder: a host path.
std::unique_ptr<ImageFiles> OpenFolderImage(const std::string& hostRoot);

// A relative path that stays below the root: no empty, "." or ".." part, not absolute.
bool SafeRelativePath(const std::string& path);

}  // namespace integrity
