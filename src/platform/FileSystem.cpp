#include "platform/FileSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "platform/DrivePaths.h"
#include "platform/EarlyWriteback.h"

namespace platform {
namespace {

std::string Upper(std::string s) {
    for (auto& ch : s)
        ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    return s;
}

bool MatchFrom(const char* p, const char* n) {
    for (;;) {
        if (*p == '\0')
            return *n == '\0';
        if (*p == '*') {
            while (*p == '*')
                ++p;
            if (*p == '\0')
                return true;
            for (const char* s = n;; ++s) {
                if (MatchFrom(p, s))
                    return true;
                if (*s == '\0')
                    return false;
            }
        }
        if (*n == '\0')
            return false;
        if (*p != '?' && std::toupper(static_cast<unsigned char>(*p)) !=
                             std::toupper(static_cast<unsigned char>(*n)))
            return false;
        ++p;
        ++n;
    }
}

}  // namespace

Status CreateDirectory(const std::string& path) {
    std::string host = ResolvePath(path);
    if (host.empty()) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return Status::FromLastError();
    }
    if (::mkdir(host.c_str(), 0755) == 0)
        return Status();
    int err = errno;
    if (err == EEXIST)
        SetLastError(ERROR_ALREADY_EXISTS);
    else if (err == ENOENT || err == ENOTDIR)
        SetLastError(ERROR_PATH_NOT_FOUND);
    else
        SetLastError(ERROR_CANNOT_MAKE);  // no permission, read-only or full volume
    return Status::FromLastError();
}

bool CreateDirectoryTree(const std::string& path) {
    std::string host = ResolvePath(path);
    if (host.empty())
        return false;
    std::string cur;
    for (std::size_t i = 1; i <= host.size(); ++i) {
        if (i == host.size() || host[i] == '/') {
            cur = host.substr(0, i);
            if (::mkdir(cur.c_str(), 0755) != 0 && errno != EEXIST) {
                SetLastError(ERROR_CANNOT_MAKE);
                return false;
            }
        }
    }
    return IsDirectory(path);
}

bool RemoveDirectory(const std::string& path) {
    std::string host = ResolvePath(path);
    if (host.empty() || ::rmdir(host.c_str()) != 0) {
        SetLastError(ErrorFromErrno(errno));
        return false;
    }
    return true;
}

namespace {

// Removes everything inside the open folder, by names relative to it, so that no link on the way
// can lead the walk elsewhere.
void EmptyFolderAt(int folder) {
    struct stat st {};
    // Removing entries needs write permission on the folder itself.
    if (::fstat(folder, &st) == 0 && (st.st_mode & S_IRWXU) != S_IRWXU)
        ::fchmod(folder, (st.st_mode & 07777) | S_IRWXU);
    const int listFd = ::dup(folder);
    DIR* dir = listFd < 0 ? nullptr : ::fdopendir(listFd);
    if (!dir) {
        if (listFd >= 0)
            ::close(listFd);
        return;
    }
    std::vector<std::string> names;
    while (dirent* e = ::readdir(dir))
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
            names.emplace_back(e->d_name);
    ::closedir(dir);
    for (const auto& name : names) {
        if (::fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        if (S_ISDIR(st.st_mode)) {
            const int sub =
                ::openat(folder, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (sub >= 0) {
                EmptyFolderAt(sub);
                ::close(sub);
            }
            ::unlinkat(folder, name.c_str(), AT_REMOVEDIR);
        } else {
            ::unlinkat(folder, name.c_str(), 0);  // a link goes, what it leads to stays
        }
    }
}

}  // namespace

bool DeleteTree(const std::string& path) {
    const std::string host = ResolvePath(path);
    struct stat st {};
    if (host.empty() || ::lstat(host.c_str(), &st) != 0)
        return true;
    if (!S_ISDIR(st.st_mode))
        return ::unlink(host.c_str()) == 0;
    const int fd = ::open(host.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0) {
        EmptyFolderAt(fd);
        ::close(fd);
    }
    return ::rmdir(host.c_str()) == 0;
}

std::string TempFolder() {
    const char* tmp = std::getenv("TMPDIR");
    return tmp && *tmp ? tmp : "/tmp";
}

std::string MakeScratchFolder(const std::string& parent, const std::string& stem) {
    const std::string where = parent.empty() ? TempFolder() : parent;
    std::string name = where + "/" + stem + "-XXXXXX";
    return ::mkdtemp(name.data()) ? name : std::string();
}

bool DeleteFile(const std::string& path) {
    std::string host = ResolvePath(path);
    if (host.empty() || ::unlink(host.c_str()) != 0) {
        SetLastError(ErrorFromErrno(errno));
        return false;
    }
    return true;
}

bool MoveFile(const std::string& from, const std::string& to) {
    const std::string a = ResolvePath(from), b = ResolvePath(to, PathUse::kCreate);
    if (a.empty() || b.empty() || ::rename(a.c_str(), b.c_str()) != 0) {
        SetLastError(a.empty() || b.empty() ? ERROR_PATH_NOT_FOUND : ErrorFromErrno(errno));
        return false;
    }
    return true;
}

bool MoveFileNoReplace(const std::string& from, const std::string& to) {
    const std::string a = ResolvePath(from), b = ResolvePath(to, PathUse::kCreate);
    if (a.empty() || b.empty() ||
        ::renameat2(AT_FDCWD, a.c_str(), AT_FDCWD, b.c_str(), RENAME_NOREPLACE) != 0) {
        SetLastError(a.empty() || b.empty() ? ERROR_PATH_NOT_FOUND : ErrorFromErrno(errno));
        return false;
    }
    return true;
}

Outcome FolderWritable(const std::string& path) {
    using Kind = Error::Kind;
    const auto fail = [&](Kind kind, const std::string& what) { return Error{kind, what, path}; };
    const std::string host = ResolvePath(path);
    struct stat st {};
    if (host.empty())
        return fail(Kind::kNotFound, "is on a drive that is not in the drive table");
    if (::stat(host.c_str(), &st) != 0)
        return fail(Kind::kNotFound, "is gone");
    if (!S_ISDIR(st.st_mode))
        return fail(Kind::kNotFound, "is no folder");
    struct statvfs vfs {};
    if (::statvfs(host.c_str(), &vfs) == 0 && (vfs.f_flag & ST_RDONLY))
        return fail(Kind::kRefused, "is read-only");
    if (::access(host.c_str(), W_OK) != 0)
        return fail(
            errno == EACCES || errno == EPERM || errno == EROFS ? Kind::kRefused : Kind::kFailed,
            std::string("cannot be written: ") + std::strerror(errno));
    return Succeeded();
}

long long MaxFileBytes(const std::string& path) {
    constexpr long kFatMagic = 0x4d44;  // MSDOS_SUPER_MAGIC
    const std::string host = ResolvePath(path);
    struct statfs fs {};
    if (host.empty() || ::statfs(host.c_str(), &fs) != 0)
        return 0;
    return static_cast<long>(fs.f_type) == kFatMagic ? 4294967295LL : 0;
}

std::uint64_t VolumeOf(const std::string& path) {
    const std::string host = ResolvePath(path);
    struct stat st {};
    if (host.empty() || ::stat(host.c_str(), &st) != 0)
        return 0;
    return static_cast<std::uint64_t>(st.st_dev);
}

bool SetFileAttributesNormal(const std::string& path) {
    std::string host = ResolvePath(path);
    struct stat st {};
    if (host.empty() || ::stat(host.c_str(), &st) != 0)
        return false;
    // Read-only on this platform is the missing write bit, of the file and of its folder.
    ::chmod(host.c_str(), (st.st_mode & 07777) | S_IWUSR | S_IRUSR);
    std::string dir = host.substr(0, host.find_last_of('/'));
    if (!dir.empty() && ::stat(dir.c_str(), &st) == 0)
        ::chmod(dir.c_str(), (st.st_mode & 07777) | S_IWUSR | S_IXUSR | S_IRUSR);
    return true;
}

bool FileExists(const std::string& path) {
    std::string host = ResolvePath(path);
    struct stat st {};
    return !host.empty() && ::stat(host.c_str(), &st) == 0;
}

std::string NotAFile(const std::string& path) {
    const std::string host = ResolvePath(path);
    struct stat st {};
    if (host.empty() || ::stat(host.c_str(), &st) != 0 || S_ISREG(st.st_mode))
        return std::string();
    if (S_ISDIR(st.st_mode))
        return "a folder";
    if (S_ISFIFO(st.st_mode))
        return "a named pipe";
    if (S_ISSOCK(st.st_mode))
        return "a socket";
    return "a device";
}

bool IsDirectory(const std::string& path) {
    std::string host = ResolvePath(path);
    struct stat st {};
    return !host.empty() && ::stat(host.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool FlushVolume(const std::string& path) {
    return VolumeFlush(path).Flush().ok();
}

VolumeFlush::VolumeFlush(const std::string& path) : host_(ResolvePath(path)) {
    if (host_.empty())
        return;
    // The volume's error state is taken when it is opened: from now on, each failure of its
    // device is reported to this handle once.
    fd_ = ::open(host_.c_str(), O_RDONLY | O_CLOEXEC);
    BeginEarlyWriteback(host_);
}

VolumeFlush::~VolumeFlush() {
    Release();
}

void VolumeFlush::Release() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    if (!host_.empty())
        EndEarlyWriteback(host_);
    host_.clear();
}

VolumeFlush::VolumeFlush(VolumeFlush&& other) noexcept
    : host_(std::exchange(other.host_, std::string())), fd_(std::exchange(other.fd_, -1)) {}

VolumeFlush& VolumeFlush::operator=(VolumeFlush&& other) noexcept {
    if (this != &other) {
        Release();
        host_ = std::exchange(other.host_, std::string());
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

Status VolumeFlush::Flush() {
    if (fd_ < 0 && !host_.empty())
        fd_ = ::open(host_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) {
        SetLastError(host_.empty() ? ERROR_PATH_NOT_FOUND : ErrorFromErrno(errno));
        return Status::FromLastError();
    }
    if (::syncfs(fd_) == 0)
        return Status();
    SetLastError(ErrorFromErrno(errno));
    return Status::FromLastError();
}

long long FileLength(const std::string& path) {
    std::string host = ResolvePath(path);
    struct stat st {};
    if (host.empty() || ::stat(host.c_str(), &st) != 0 || S_ISDIR(st.st_mode))
        return -1;
    return static_cast<long long>(st.st_size);
}

bool WildcardMatch(const std::string& pattern, const std::string& name) {
    if (pattern == "*.*" || pattern == "*")
        return true;
    return MatchFrom(pattern.c_str(), name.c_str());
}

std::vector<FindData> FindFiles(const std::string& wildcardPath) {
    std::vector<FindData> out;
    std::size_t cut = wildcardPath.find_last_of("\\/");
    std::string folder = (cut == std::string::npos) ? "." : wildcardPath.substr(0, cut + 1);
    std::string pattern = (cut == std::string::npos) ? wildcardPath : wildcardPath.substr(cut + 1);
    if (pattern.empty())
        return out;
    // A plain name needs no listing of its folder: one look at the file answers it.
    if (pattern.find_first_of("*?") == std::string::npos) {
        const std::string host = ResolvePath(wildcardPath);
        FindData f;
        if (!host.empty() && StatEntry(host, f)) {
            f.name = host.substr(host.find_last_of('/') + 1);
            out.push_back(f);
        }
        return out;
    }
    std::string hostFolder = ResolvePath(folder);
    if (hostFolder.empty())
        return out;
    DIR* dir = ::opendir(hostFolder.c_str());
    if (!dir)
        return out;
    while (dirent* e = ::readdir(dir)) {
        std::string name = e->d_name;
        if (name == "." || name == "..")
            continue;
        if (!WildcardMatch(pattern, name))
            continue;
        FindData f;
        f.name = name;
        if (StatEntry((hostFolder == "/" ? "" : hostFolder) + "/" + name, f))
            out.push_back(f);
    }
    ::closedir(dir);
    SortAsSearched(out);
    return out;
}

bool StatEntry(const std::string& hostPath, FindData& f) {
    struct stat st {};
    if (::lstat(hostPath.c_str(), &st) != 0)
        return false;
    f.isLink = S_ISLNK(st.st_mode);
    if (f.isLink && ::stat(hostPath.c_str(), &st) != 0)
        st = {};  // a link that leads nowhere is listed as an empty file
    // Pipes, devices and sockets are no files to read or copy: one would hang the reader or
    // never end.
    if (st.st_mode != 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode))
        return false;
    f.isDirectory = S_ISDIR(st.st_mode);
    f.size = static_cast<std::uint64_t>(st.st_size);
    f.hostPath = hostPath;
    return true;
}

void SortAsSearched(std::vector<FindData>& found) {
    std::sort(found.begin(), found.end(), [](const FindData& a, const FindData& b) {
        std::string ua = Upper(a.name), ub = Upper(b.name);
        return ua != ub ? ua < ub : a.name < b.name;
    });
}

}  // namespace platform
