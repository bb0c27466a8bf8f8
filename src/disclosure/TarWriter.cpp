#include "disclosure/TarWriter.h"

#include <memory>

#include "disclosure/TarFormat.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/FolderTree.h"

namespace disclosure {

using platform::Error;

namespace {

constexpr std::size_t kArchivePiece = 64 * 1024;

class Archiver {
  public:
    Archiver(ByteSink& out, const TarOptions& options)
        : out_(out), options_(options), buffer_(new unsigned char[kArchivePiece]) {}

    platform::Outcome Folder(const std::string& host, const std::string& name) {
        if (platform::Outcome h = Header(name + "/", 0, options_.folderTime, 0755, tar::kFolder);
            !h)
            return h;
        for (const platform::FindData& f : platform::FindFiles(host + "/*")) {
            if (f.name == "." || f.name == "..")
                continue;
            const std::string child = name + "/" + f.name;
            if (f.isLink)
                return Error{Error::Kind::kRefused,
                             "is a link: an encrypted copy takes files and folders only", child};
            const platform::Outcome done =
                f.isDirectory ? Folder(f.hostPath, child) : File(f.hostPath, child);
            if (!done)
                return done;
        }
        return platform::Succeeded();
    }

    platform::Outcome File(const std::string& host, const std::string& name) {
        if (const std::string other = platform::NotAFile(host); !other.empty())
            return Error{Error::Kind::kRefused,
                         "is " + other + ": an encrypted copy takes files and folders only", name};
        platform::File in;
        if (!in.OpenResolved(host, platform::File::kReadNoLink))
            return Error{Error::Kind::kFailed, "cannot be opened", name};
        const platform::FileStamp stamp = in.Stamp();
        if (stamp.length < 0)
            return Error{Error::Kind::kFailed, "cannot be read", name};
        const auto length = static_cast<std::uint64_t>(stamp.length);
        if (platform::Outcome h =
                Header(name, length, stamp.modifiedNs / 1000000000, 0644, tar::kFile);
            !h)
            return h;
        std::uint64_t left = length;
        while (left > 0) {
            const long long n = in.Read(buffer_.get(), left < kArchivePiece ? left : kArchivePiece);
            if (n < 0)
                return Error{Error::Kind::kFailed, "cannot be read", name};
            if (n == 0)
                return Error{Error::Kind::kDamaged, "became shorter while it was archived", name};
            if (platform::Outcome w = out_.Write(buffer_.get(), static_cast<std::size_t>(n)); !w)
                return w;
            left -= static_cast<std::uint64_t>(n);
        }
        unsigned char probe;
        if (in.Read(&probe, 1) != 0)
            return Error{Error::Kind::kDamaged, "became longer while it was archived", name};
        archived_ += length;
        if (options_.progress)
            options_.progress(archived_);
        return Pad(length);
    }

    platform::Outcome End() {
        const std::string zeros(2 * tar::kBlock, '\0');
        return out_.Write(zeros.data(), zeros.size());
    }

  private:
    platform::Outcome Header(const std::string& name, std::uint64_t size, std::int64_t mtime,
                             unsigned mode, char type) {
        std::string records;
        if (name.size() > tar::kNameField)
            records += tar::PaxRecord("path", name);
        if (size > tar::kMaxOctalSize)
            records += tar::PaxRecord("size", std::to_string(size));
        // The ustar fields keep what fits, for a reader that knows no pax headers.
        const std::string shortName = name.substr(0, tar::kNameField);
        std::string blocks;
        if (!records.empty()) {
            blocks = tar::HeaderBlock({"PaxHeader", records.size(), mtime, 0644, tar::kPax}) +
                     records + std::string(tar::Padding(records.size()), '\0');
        }
        blocks += tar::HeaderBlock({shortName, size, mtime, mode, type});
        return out_.Write(blocks.data(), blocks.size());
    }

    platform::Outcome Pad(std::uint64_t length) {
        const std::string zeros(tar::Padding(length), '\0');
        return zeros.empty() ? platform::Succeeded() : out_.Write(zeros.data(), zeros.size());
    }

    ByteSink& out_;
    const TarOptions& options_;
    std::unique_ptr<unsigned char[]> buffer_;
    std::uint64_t archived_ = 0;
};

// The first entry below the folder that is neither a file nor a folder, refused by its name
// before anything is written: the folder listing the archiver walks leaves such entries out.
platform::Outcome OnlyFilesAndFolders(const std::string& hostFolder, const std::string& topName) {
    platform::Expected<std::vector<platform::TreeEntry>> tree = platform::ListTree(hostFolder);
    if (!tree)
        return tree.error();
    for (const platform::TreeEntry& e : *tree) {
        if (e.regular)
            continue;
        const std::string host = hostFolder + "/" + e.relative;
        platform::FindData f;
        const std::string other =
            platform::StatEntry(host, f) && f.isLink ? "a link" : platform::NotAFile(host);
        return Error{Error::Kind::kRefused,
                     "is " + (other.empty() ? std::string("no plain file") : other) +
                         ": an encrypted copy takes files and folders only",
                     topName + "/" + e.relative};
    }
    return platform::Succeeded();
}

}  // namespace

platform::Outcome WriteFolderAsTar(const std::string& hostFolder, const std::string& topName,
                                   ByteSink& out, const TarOptions& options) {
    if (!platform::IsDirectory(hostFolder))
        return Error{Error::Kind::kNotFound, "is no folder", hostFolder};
    if (platform::Outcome plain = OnlyFilesAndFolders(hostFolder, topName); !plain)
        return plain;
    Archiver archiver(out, options);
    if (platform::Outcome folder = archiver.Folder(hostFolder, topName); !folder)
        return folder;
    return archiver.End();
}

}  // namespace disclosure
