#include "disclosure/TarExtract.h"

#include <memory>
#include <optional>
#include <vector>

#include "disclosure/TarFormat.h"
#include "platform/File.h"
#include "platform/FileSystem.h"

namespace disclosure {

using platform::Error;

namespace {

constexpr std::size_t kExtractPiece = 64 * 1024;
constexpr std::uint64_t kMaxPaxBytes = 64 * 1024;

Error ArchiveRefused(const std::string& why, const std::string& name = "") {
    return Error{Error::Kind::kRefused, why, name};
}

Error ArchiveDamaged(const std::string& why) {
    return Error{Error::Kind::kDamaged, "the archive " + why, ""};
}

bool AllZero(const unsigned char* p, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i)
        if (p[i])
            return false;
    return true;
}

std::string KindOf(char type) {
    switch (type) {
        case '1':
            return "a hard link";
        case '2':
            return "a symbolic link";
        case '3':
        case '4':
            return "a device";
        case '6':
            return "a named pipe";
        default:
            return std::string("an entry of type '") + type + "'";
    }
}

class Extractor {
  public:
    Extractor(ByteSource& in, const std::string& into, const ExtractOptions& options)
        : in_(in), into_(into), options_(options), buffer_(new unsigned char[kExtractPiece]) {}

    platform::Expected<std::string> Run() {
        std::optional<std::string> paxPath;
        // Not an optional: the compiler takes its value for uninitialized where it is set.
        bool hasPaxSize = false;
        std::uint64_t paxSize = 0;
        unsigned char block[tar::kBlock];
        for (;;) {
            if (platform::Outcome got = Block(block); !got)
                return got.error();
            if (AllZero(block, tar::kBlock))
                break;
            const auto header = tar::ParseHeaderBlock(block);
            if (!header)
                return ArchiveDamaged("has a damaged header block at byte " +
                                      std::to_string(at_ - 512));
            const std::uint64_t size = hasPaxSize ? paxSize : header->size;
            if (header->type == tar::kPax || header->type == tar::kGlobalPax) {
                if (size > kMaxPaxBytes)
                    return ArchiveDamaged("has an extended header over 64 KiB");
                std::string data(static_cast<std::size_t>(size), '\0');
                if (platform::Outcome read = Exactly(data.data(), data.size()); !read)
                    return read.error();
                if (platform::Outcome skipped = Skip(tar::Padding(size)); !skipped)
                    return skipped.error();
                // A global header's values hold for every entry after it: only a local one is
                // taken, and a global path or size would rename or resize them all.
                std::optional<std::string> path;
                std::optional<std::uint64_t> length;
                if (!tar::ParsePaxRecords(data, path, length))
                    return ArchiveDamaged("has a malformed extended header");
                if (header->type == tar::kGlobalPax && (path || length))
                    return ArchiveDamaged("has a global extended header naming a path or size");
                if (header->type == tar::kPax) {
                    paxPath = path;
                    hasPaxSize = length.has_value();
                    paxSize = length.value_or(0);
                }
                continue;
            }
            const std::string name = paxPath.value_or(header->name);
            paxPath.reset();
            hasPaxSize = false;
            if (platform::Outcome done = Entry(name, header->type, size); !done)
                return done.error();
        }
        // The end marker is two zero blocks; what a writer pads after them is zeros too.
        for (;;) {
            const platform::Expected<std::size_t> n = ReadFull(in_, buffer_.get(), kExtractPiece);
            if (!n)
                return n.error();
            if (*n == 0)
                break;
            if (!AllZero(buffer_.get(), *n))
                return ArchiveDamaged("has data after its end");
        }
        if (top_.empty())
            return ArchiveDamaged("holds nothing");
        return top_;
    }

  private:
    platform::Outcome Entry(const std::string& name, char type, std::uint64_t size) {
        std::vector<std::string> parts;
        if (!SafeEntryName(name, parts))
            return ArchiveRefused("is a name outside the folder it is extracted into", name);
        if (type != tar::kFile && type != tar::kOldFile && type != tar::kFolder)
            return ArchiveRefused("is " + KindOf(type) + ": only files and folders are extracted",
                                  name);
        if (top_.empty()) {
            if (parts[0][0] == '.')
                return ArchiveRefused("is a hidden top folder", name);
            top_ = parts[0];
            if (options_.topFound)
                if (platform::Outcome fine = options_.topFound(top_); !fine)
                    return fine;
        } else if (parts[0] != top_) {
            return ArchiveRefused("is outside the archive's top folder " + top_, name);
        }
        std::string host = into_;
        for (std::size_t i = 0; i + 1 < parts.size(); ++i)
            host += "/" + parts[i];
        if (!platform::CreateDirectoryTree(host))
            return Error{Error::Kind::kFailed, "cannot be made", host};
        host += "/" + parts.back();
        if (type == tar::kFolder) {
            if (size != 0)
                return ArchiveDamaged("has a folder with data: " + name);
            if (!platform::IsDirectory(host) && !platform::CreateDirectory(host))
                return ArchiveRefused("cannot be made as a folder (a file has its name)", name);
            return platform::Succeeded();
        }
        platform::File out;
        if (!out.OpenResolved(host, platform::File::kCreateNew))
            return ArchiveRefused(
                "cannot be made: the archive names it twice, or a folder has its name", name);
        for (std::uint64_t left = size; left > 0;) {
            const std::size_t n =
                static_cast<std::size_t>(left < kExtractPiece ? left : kExtractPiece);
            if (platform::Outcome read = Exactly(buffer_.get(), n); !read)
                return read;
            if (!out.Write(buffer_.get(), n))
                return Error{Error::Kind::kFailed, "cannot be written (is the disk full?)", host};
            left -= n;
        }
        return Skip(tar::Padding(size));
    }

    platform::Outcome Block(unsigned char* block) { return Exactly(block, tar::kBlock); }

    platform::Outcome Exactly(void* buffer, std::size_t count) {
        const platform::Expected<std::size_t> n = ReadFull(in_, buffer, count);
        if (!n)
            return n.error();
        at_ += *n;
        if (*n != count)
            return ArchiveDamaged("is cut short at byte " + std::to_string(at_));
        return platform::Succeeded();
    }

    platform::Outcome Skip(std::size_t count) {
        unsigned char pad[tar::kBlock];
        return count == 0 ? platform::Succeeded() : Exactly(pad, count);
    }

    ByteSource& in_;
    std::string into_;
    const ExtractOptions& options_;
    std::unique_ptr<unsigned char[]> buffer_;
    std::string top_;
    std::uint64_t at_ = 0;
};

}  // namespace

bool SafeEntryName(const std::string& name, std::vector<std::string>& parts) {
    parts.clear();
    if (name.empty() || name[0] == '/')
        return false;
    std::string text = name;
    // A folder's entry ends in '/'.
    if (text.back() == '/')
        text.pop_back();
    std::size_t start = 0;
    for (;;) {
        const std::size_t slash = text.find('/', start);
        const std::string part = text.substr(start, slash - start);
        if (part.empty() || part == "." || part == "..")
            return false;
        for (unsigned char c : part)
            if (c < 32 || c == 127 || c == '\\')
                return false;
        parts.push_back(part);
        if (slash == std::string::npos)
            return true;
        start = slash + 1;
    }
}

platform::Expected<std::string> ExtractTar(ByteSource& in, const std::string& hostInto,
                                           const ExtractOptions& options) {
    return Extractor(in, hostInto, options).Run();
}

}  // namespace disclosure
