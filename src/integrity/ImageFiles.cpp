#include "integrity/ImageFiles.h"

#include "platform/File.h"
#include "platform/FolderTree.h"

namespace integrity {
namespace {

class FolderImage : public ImageFiles {
  public:
    explicit FolderImage(std::string root) : root_(std::move(root)) {}
    std::string Where() const override { return root_; }
    platform::Expected<std::vector<Entry>> List() override {
        const platform::Expected<std::vector<platform::TreeEntry>> tree = platform::ListTree(root_);
        // The folder's words whole: the image's check says them after its own.
        if (!tree)
            return platform::Error{tree.error().kind, tree.error().Said(), ""};
        std::vector<Entry> out;
        for (const auto& t : *tree)
            out.push_back({t.relative, t.size, t.regular});
        return out;
    }
    platform::Outcome Read(const std::string& path, const Sink& sink) override {
        using Kind = platform::Error::Kind;
        if (!SafeRelativePath(path))
            return platform::Error{Kind::kRefused, "cannot be opened", path};
        platform::File f;
        if (!f.OpenResolved(root_ + "/" + path, platform::File::kRead))
            return platform::Error{Kind::kNotFound, "cannot be opened", path};
        std::string buffer(std::size_t{1} << 20, '\0');
        for (;;) {
            const long long n = f.Read(buffer.data(), buffer.size());
            if (n == 0)
                return platform::Succeeded();
            if (n < 0)
                return platform::Error{Kind::kDamaged, "cannot be read", path};
            sink(buffer.data(), static_cast<std::size_t>(n));
        }
    }

  private:
    std::string root_;
};

}  // namespace

platform::Expected<std::string> ImageFiles::ReadWhole(const std::string& path, long long limit) {
    std::string out;
    bool tooLong = false;
    const platform::Outcome read = Read(path, [&](const char* bytes, std::size_t count) {
        if (tooLong || static_cast<long long>(out.size() + count) > limit) {
            tooLong = true;
            return;
        }
        out.append(bytes, count);
    });
    if (!read)
        return read.error();
    if (tooLong)
        return platform::Error{platform::Error::Kind::kDamaged, "is too large", path};
    return out;
}

std::unique_ptr<ImageFiles> OpenFolderImage(const std::string& hostRoot) {
    return std::make_unique<FolderImage>(hostRoot);
}

bool SafeRelativePath(const std::string& path) {
    if (path.empty() || path[0] == '/')
        return false;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = path.find('/', start);
        const std::string part = path.substr(start, end == std::string::npos ? end : end - start);
        if (part.empty() || part == "." || part == "..")
            return false;
        if (end == std::string::npos)
            return true;
        start = end + 1;
    }
}

}  // namespace integrity
