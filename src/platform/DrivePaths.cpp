#include "platform/DrivePaths.h"

#include <dirent.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "platform/DriveTable.h"
#include "platform/TextCase.h"

namespace platform {
namespace {

std::vector<std::string> SplitComponents(const std::string& rest) {
    std::vector<std::string> parts;
    std::string cur;
    auto flush = [&] {
        if (cur.empty() || cur == ".") {
        } else if (cur == "..") {
            if (!parts.empty())
                parts.pop_back();
        } else {
            parts.push_back(cur);
        }
        cur.clear();
    };
    for (char ch : rest) {
        if (ch == '\\' || ch == '/')
            flush();
        else
            cur += ch;
    }
    flush();
    return parts;
}

// Folder listings for the lookups without regard to case, keyed by folder. A listing is trusted
// only while the folder's change time is unchanged and was already in the past when the listing
// was taken, so that a name added in the same clock tick is never missed.
class FolderListingCache {
  public:
    // The entry of folder whose name matches part without regard to case ("" when none).
    std::string Find(const std::string& folder, const std::string& part) {
        struct stat st {};
        if (::stat(folder.c_str(), &st) != 0)
            return std::string();
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = listings_.find(folder);
        if (it == listings_.end() || !it->second.Matches(st)) {
            Listing fresh = Read(folder, st);
            if (!fresh.trusted)
                return fresh.Lookup(part);
            if (listings_.size() >= kMaxFolders)
                listings_.clear();
            it = listings_.insert_or_assign(folder, std::move(fresh)).first;
        }
        return it->second.Lookup(part);
    }

  private:
    static constexpr std::size_t kMaxFolders = 256;
    struct Listing {
        dev_t dev = 0;
        ino_t ino = 0;
        timespec ctime{}, mtime{};
        bool trusted = false;
        std::unordered_map<std::string, std::string> byFolded;  // first entry of each name
        bool Matches(const struct stat& st) const {
            return st.st_dev == dev && st.st_ino == ino && st.st_mtim.tv_sec == mtime.tv_sec &&
                   st.st_mtim.tv_nsec == mtime.tv_nsec && st.st_ctim.tv_sec == ctime.tv_sec &&
                   st.st_ctim.tv_nsec == ctime.tv_nsec;
        }
        std::string Lookup(const std::string& part) const {
            auto found = byFolded.find(FoldCase(part));
            return found == byFolded.end() ? std::string() : found->second;
        }
    };
    static Listing Read(const std::string& folder, const struct stat& st) {
        Listing l;
        l.dev = st.st_dev;
        l.ino = st.st_ino;
        l.mtime = st.st_mtim;
        l.ctime = st.st_ctim;
        timespec now{};
        ::clock_gettime(CLOCK_REALTIME, &now);
        l.trusted = now.tv_sec > st.st_mtim.tv_sec + 1 && now.tv_sec > st.st_ctim.tv_sec + 1;
        if (DIR* dir = ::opendir(folder.c_str())) {
            while (dirent* e = ::readdir(dir))
                l.byFolded.emplace(FoldCase(e->d_name), e->d_name);
            ::closedir(dir);
        }
        return l;
    }
    std::mutex mutex_;
    std::unordered_map<std::string, Listing> listings_;
};

FolderListingCache& Listings() {
    static FolderListingCache cache;
    return cache;
}

// Appends each component below root, taking the exact name when it exists and otherwise the
// first entry that matches without regard to case (not for the last one of a name to create).
std::string JoinFolded(const std::string& root, const std::vector<std::string>& parts,
                       PathUse use) {
    std::string path = root;
    bool parentExists = true;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        const std::string& part = parts[i];
        std::string base = (path == "/") ? "" : path;
        std::string exact = base + "/" + part;
        if (parentExists) {
            struct stat st {};
            if (::lstat(exact.c_str(), &st) == 0) {
                path = exact;
                continue;
            }
            if (use == PathUse::kCreate && i + 1 == parts.size()) {
                path = exact;
                continue;
            }
            const std::string found = Listings().Find(path, part);
            if (!found.empty()) {
                path = base + "/" + found;
                continue;
            }
            parentExists = false;
        }
        path = exact;
    }
    return path;
}

}  // namespace

std::string ResolvePath(const std::string& path, PathUse use) {
    // The exact spelling is the common case: one look at the whole path answers it.
    auto exactFirst = [use](const std::string& root, const std::vector<std::string>& parts) {
        std::string whole = root == "/" ? std::string() : root;
        for (const auto& p : parts)
            whole += "/" + p;
        struct stat st {};
        if (!parts.empty() && ::lstat(whole.c_str(), &st) == 0)
            return whole;
        // A name to create in a folder that exists as spelled: nothing to look up.
        if (use == PathUse::kCreate && !parts.empty()) {
            const std::string parent = whole.substr(0, whole.find_last_of('/'));
            if (::stat(parent.empty() ? "/" : parent.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
                return whole;
        }
        return JoinFolded(root, parts, use);
    };
    if (path.size() >= 2 && path[1] == ':' && std::isalpha(static_cast<unsigned char>(path[0]))) {
        const auto table = CurrentDrives();
        const DriveInfo* drive = table->Find(path[0]);
        // A disc writer without Path= has no files of its own to reach.
        if (!drive || drive->hostRoot.empty())
            return std::string();
        return exactFirst(drive->hostRoot, SplitComponents(path.substr(2)));
    }
    if (!path.empty() && (path[0] == '/' || path[0] == '\\'))
        return exactFirst("/", SplitComponents(path));
    char cwd[PATH_MAX];
    std::string base = ::getcwd(cwd, sizeof cwd) ? cwd : "/";
    return exactFirst("/", SplitComponents(base + "/" + path));
}

char MissingDrive(const std::string& path) {
    if (path.size() < 2 || path[1] != ':' || !std::isalpha(static_cast<unsigned char>(path[0])))
        return 0;
    const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(path[0])));
    return CurrentDrives()->Find(letter) ? 0 : letter;
}

std::string MissingDriveText(const std::string& path) {
    const char letter = MissingDrive(path);
    if (!letter)
        return std::string();
    return std::string("drive ") + letter + ": of " + path + " is not in " + MachinePrefix() +
           "/drives.ini";
}

std::string ToDrivePath(const std::string& hostPath) {
    std::error_code ec;
    std::string abs = std::filesystem::weakly_canonical(std::filesystem::absolute(hostPath), ec);
    if (ec)
        abs = hostPath;
    const DriveInfo* best = nullptr;
    std::string bestRoot;
    const auto table = CurrentDrives();
    for (const auto& d : table->drives()) {
        if (d.hostRoot.empty())
            continue;
        std::string root = std::filesystem::weakly_canonical(d.hostRoot, ec);
        if (ec)
            root = d.hostRoot;
        bool under = abs == root || root == "/" ||
                     (abs.size() > root.size() && abs.compare(0, root.size(), root) == 0 &&
                      abs[root.size()] == '/');
        if (under && (!best || root.size() > bestRoot.size())) {
            best = &d;
            bestRoot = root;
        }
    }
    if (!best)
        return hostPath;
    std::string rest = abs.substr(bestRoot == "/" ? 0 : bestRoot.size());
    std::string out = std::string(1, best->letter) + ":";
    for (char ch : rest)
        out += (ch == '/') ? '\\' : ch;
    if (out.size() == 2)
        out += '\\';
    return out;
}

DWORD GetLogicalDrives() {
    DWORD mask = 0;
    const auto table = CurrentDrives();
    for (const auto& d : table->drives())
        mask |= 1u << (d.letter - 'A');
    return mask;
}

UINT GetDriveTypeA(const std::string& root) {
    if (root.empty())
        return DRIVE_NO_ROOT_DIR;
    const auto table = CurrentDrives();
    const DriveInfo* d = table->Find(root[0]);
    return d ? d->type : static_cast<UINT>(DRIVE_NO_ROOT_DIR);
}

bool GetDiskFreeSpaceExA(const std::string& path, std::uint64_t* freeToCaller, std::uint64_t* total,
                         std::uint64_t* totalFree) {
    std::string host = ResolvePath(path);
    if (host.empty())
        return false;
    // The nearest existing folder answers for a path that is not there yet.
    std::filesystem::path p(host);
    std::error_code ec;
    while (!std::filesystem::exists(p, ec) && p.has_parent_path() && p != p.parent_path())
        p = p.parent_path();
    struct statvfs vfs {};
    if (::statvfs(p.c_str(), &vfs) != 0)
        return false;
    if (freeToCaller)
        *freeToCaller = static_cast<std::uint64_t>(vfs.f_bavail) * vfs.f_frsize;
    if (total)
        *total = static_cast<std::uint64_t>(vfs.f_blocks) * vfs.f_frsize;
    if (totalFree)
        *totalFree = static_cast<std::uint64_t>(vfs.f_bfree) * vfs.f_frsize;
    return true;
}

Outcome CheckFolderCreation(const std::string& path) {
    using Kind = Error::Kind;
    const std::string host = ResolvePath(path, PathUse::kCreate);
    if (host.empty())
        return Error{Kind::kNotFound,
                     "its drive has no folders in " + MachinePrefix() + "/drives.ini", ""};
    struct stat st {};
    if (::stat(host.c_str(), &st) == 0)
        return S_ISDIR(st.st_mode) ? Succeeded()
                                   : Error{Kind::kRefused, "is a file, not a folder", host};
    // Never the drive's own folder: a medium that is not mounted would have its mount folder
    // made on the host's disc instead.
    if (path.size() >= 2 && path[1] == ':') {
        const std::string root = ResolvePath(path.substr(0, 2));
        if (::stat(root.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
            return Error{Kind::kNotFound, "the drive's folder " + root + " is not there", ""};
    }
    // The nearest part that exists must be a folder this user may add to.
    std::filesystem::path p(host);
    while (::stat(p.c_str(), &st) != 0 && p.has_parent_path() && p != p.parent_path())
        p = p.parent_path();
    if (!S_ISDIR(st.st_mode))
        return Error{Kind::kRefused, "is a file, not a folder", p.string()};
    if (::access(p.c_str(), W_OK | X_OK) != 0)
        return Error{Kind::kRefused,
                     "nothing can be written in " + p.string() + " (" + std::strerror(errno) + ")",
                     ""};
    return Succeeded();
}

std::string ModuleFileHostPath() {
    char buf[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0)
        return std::string();
    buf[n] = '\0';
    return buf;
}

std::string GetModulePath() {
    std::string exe = ModuleFileHostPath();
    std::string dir = std::filesystem::path(exe).parent_path().string();
    std::string drive = ToDrivePath(dir);
    if (drive.empty() || drive.back() != '\\')
        drive += '\\';
    return drive;
}

std::string RuntimeDir() {
    std::string dir;
    if (const char* r = std::getenv("QUILLON_RUNTIME_DIR"); r && *r)
        dir = r;
    else if (const char* x = std::getenv("XDG_RUNTIME_DIR"); x && *x)
        dir = std::string(x) + "/quillon";
    else
        dir = "/tmp/quillon-" + std::to_string(::getuid());
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(dir).parent_path(), ec);
    ::mkdir(dir.c_str(), 0700);
    return dir;
}

Outcome CheckRuntimeDir(const std::string& dir) {
    const auto unusable = [&](Error::Kind kind, const std::string& why) {
        return Error{kind, "the runtime folder " + dir + " cannot be used: " + why, ""};
    };
    struct stat st {};
    if (::lstat(dir.c_str(), &st) != 0)
        return unusable(Error::Kind::kNotFound, "it cannot be made");
    // Locks and windows live here: a folder of somebody else's, or a link, could redirect them.
    if (!S_ISDIR(st.st_mode))
        return unusable(Error::Kind::kRefused, "it is no folder of its own");
    if (st.st_uid != ::getuid())
        return unusable(Error::Kind::kRefused, "it belongs to another user");
    if (st.st_mode & (S_IWGRP | S_IWOTH))
        return unusable(Error::Kind::kRefused, "other users may write it");
    return Succeeded();
}

}  // namespace platform
