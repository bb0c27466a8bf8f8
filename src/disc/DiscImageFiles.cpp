#include "disc/DiscImageFiles.h"

#include <cstdlib>
#include <vector>

// libisofs declares a global struct burn_source; libburn declares its own in namespace burn.
#include <libburn/libburn.h>
#include <libisofs/libisofs.h>

#include "disc/DiscLibraries.h"
#include "platform/DriveTable.h"
#include "platform/HostPaths.h"

namespace disc {
namespace {

struct SourceRef {
    IsoFileSource* p = nullptr;
    ~SourceRef() {
        if (p)
            iso_file_source_unref(p);
    }
};

class IsoImageFiles : public integrity::ImageFiles {
  public:
    IsoImageFiles(std::string where, IsoDataSource* src, IsoImageFilesystem* fs)
        : where_(std::move(where)), src_(src), fs_(fs) {}
    ~IsoImageFiles() override {
        iso_filesystem_unref(fs_);
        iso_data_source_unref(src_);
        ReleaseLibraries();
    }
    std::string Where() const override { return where_; }

    platform::Expected<std::vector<Entry>> List() override {
        std::vector<Entry> out;
        SourceRef root;
        std::string why;
        if (fs_->get_root(fs_, &root.p) < 0)
            why = "its root folder cannot be read";
        else
            Walk(root.p, std::string(), out, why, 0);
        if (!why.empty())
            return platform::Error{platform::Error::Kind::kDamaged, why, ""};
        return out;
    }

    platform::Outcome Read(const std::string& path, const Sink& sink) override {
        using Kind = platform::Error::Kind;
        SourceRef file;
        if (!integrity::SafeRelativePath(path) ||
            fs_->get_by_path(fs_, ("/" + path).c_str(), &file.p) < 0)
            return platform::Error{Kind::kNotFound, "is not on the disc", path};
        if (iso_file_source_open(file.p) < 0)
            return platform::Error{Kind::kDamaged, "cannot be opened on the disc", path};
        std::vector<char> buffer(std::size_t{1} << 20);
        platform::Outcome outcome = platform::Succeeded();
        for (;;) {
            const int n = iso_file_source_read(file.p, buffer.data(), buffer.size());
            if (n == 0)
                break;
            if (n < 0) {
                outcome = platform::Error{Kind::kDamaged, "cannot be read from the disc", path};
                break;
            }
            sink(buffer.data(), static_cast<std::size_t>(n));
        }
        iso_file_source_close(file.p);
        return outcome;
    }

  private:
    bool Walk(IsoFileSource* dir, const std::string& relative, std::vector<Entry>& out,
              std::string& why, int depth) {
        if (depth > 64 || iso_file_source_open(dir) < 0) {
            why =
                (relative.empty() ? std::string("the root folder") : relative) + " cannot be read";
            return false;
        }
        bool ok = true;
        for (;;) {
            SourceRef child;
            const int r = iso_file_source_readdir(dir, &child.p);
            if (r == 0)
                break;
            if (r < 0) {
                why = relative + " cannot be listed";
                ok = false;
                break;
            }
            char* name = iso_file_source_get_name(child.p);
            const std::string path = relative.empty() ? name : relative + "/" + name;
            std::free(name);
            // libisofs tells an entry's kind and size in the system's own terms, from its header.
            struct stat st {};
            if (iso_file_source_lstat(child.p, &st) < 0)
                continue;
            if (S_ISDIR(st.st_mode)) {
                if (!Walk(child.p, path, out, why, depth + 1)) {
                    ok = false;
                    break;
                }
                continue;
            }
            out.push_back({path, static_cast<long long>(st.st_size), S_ISREG(st.st_mode)});
        }
        iso_file_source_close(dir);
        return ok;
    }

    std::string where_;
    IsoDataSource* src_;
    IsoImageFilesystem* fs_;
};

}  // namespace

platform::Expected<std::unique_ptr<integrity::ImageFiles>> OpenIsoImage(const std::string& device) {
    using platform::Error;
    const std::string path = device.rfind("stdio:", 0) == 0 ? device.substr(6) : device;
    const platform::HostEntry entry =
        path.empty() ? platform::HostEntry{} : platform::LookAtHostPath(path);
    if (entry.kind == platform::HostKind::kNothing ||
        (entry.kind == platform::HostKind::kFile && entry.size == 0)) {
        return Error{Error::Kind::kNotFound, "there is no written disc in " + device, ""};
    }
    if (!AcquireLibraries()) {
        return Error{Error::Kind::kFailed, "the disc library cannot be started", ""};
    }
    IsoDataSource* src = nullptr;
    IsoReadOpts* opts = nullptr;
    IsoImageFilesystem* fs = nullptr;
    if (iso_data_source_new_from_file(path.c_str(), &src) < 0 || iso_read_opts_new(&opts, 0) < 0 ||
        iso_image_filesystem_new(src, opts, 0x0fffffff, &fs) < 0) {
        if (opts)
            iso_read_opts_free(opts);
        if (src)
            iso_data_source_unref(src);
        ReleaseLibraries();
        return Error{Error::Kind::kDamaged, "the disc in " + device + " holds no readable image",
                     ""};
    }
    iso_read_opts_free(opts);
    return std::unique_ptr<integrity::ImageFiles>(std::make_unique<IsoImageFiles>(device, src, fs));
}

platform::Expected<std::unique_ptr<integrity::ImageFiles>> OpenDiscImage(char letter) {
    const platform::DriveInfo* drive = platform::CurrentDrives()->Find(letter);
    if (!drive || drive->type != platform::DRIVE_CDROM || drive->device.empty())
        return platform::Error{
            platform::Error::Kind::kNotFound,
            std::string("there is no disc drive ") + letter + ": in the drive table", ""};
    return OpenIsoImage(drive->device);
}

}  // namespace disc
