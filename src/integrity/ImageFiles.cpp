#include "integrity/ImageFiles.h"

#include "platform/File.h"
#include "platform/FolderTree.h"

namespace integrity {
namespace {

class FolderImage : public ImageFiles {
  public:
    explicit FolderImage(std::string root) : root_(std::move(root)) {}
    std::string Where() const override { return root_; }
    bool List(std::vector<Entry>& out, std::string& why) override {
        std::vector<platform::TreeEntry> tree;
        if (!platform::ListTree(root_, tree, why))
            return false;
        out.clear();
        for (const auto& t : tree)
            out.push_back({t.relative, t.size, t.regular});
        return true;
    }
    bool Read(const std::string& path, const Sink& sink, std::string& why) override {
        platform::File f;
        if (!SafeRelativePath(path) || !f.OpenResolved(root_ + "/" + path, platform::File::kRead)) {
            why = "cannot be opened";
            return false;
        }
        std::string buffer(std::size_t{1} << 20, '\0');
        for (;;) {
            const long long n = f.Read(buffer.data(), buffer.size());
            if (n == 0)
                return true;
            if (n < 0) {
                why = "cannot be read";
                return false;
            }
            sink(buffer.data(), static_cast<std::size_t>(n));
        }
    }

  private:
    std::string root_;
};

}  // namespace

bool ImageFiles::ReadWhole(const std::string& path, std::string& out, std::string& why,
                           long long limit) {
    out.clear();
    bool tooLong = false;
    const bool ok = Read(
        path,
        [&](const char* bytes, std::size_t count) {
            if (tooLong || static_cast<long long>(out.size() + count) > limit) {
                tooLong = true;
                return;
            }
            out.append(bytes, count);
        },
        why);
    if (ok && tooLong) {
        why = "is too large";
        return false;
    }
    return ok;
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
