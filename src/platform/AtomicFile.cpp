#include "platform/AtomicFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "platform/DrivePaths.h"

namespace platform {
namespace {

std::atomic<unsigned> gCounter{0};

bool EndsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

bool AtomicFile::Create(const std::string& finalPath) {
    Abandon();
    final_ = ResolvePath(finalPath, PathUse::kCreate);
    const std::size_t cut = final_.find_last_of('/');
    if (final_.empty() || cut == std::string::npos || cut + 1 == final_.size()) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        final_.clear();
        return false;
    }
    // A hidden name of our own; the process and a counter keep two writers apart.
    for (int attempt = 0; attempt < 16; ++attempt) {
        temp_ = final_.substr(0, cut + 1) + "." + final_.substr(cut + 1) + "." +
                std::to_string(::getpid()) + "-" + std::to_string(gCounter++) + kTempSuffix;
        if (file_.OpenResolved(temp_, File::kCreateNew))
            return true;
        if (GetLastError() != ERROR_ALREADY_EXISTS)
            break;
    }
    temp_.clear();
    final_.clear();
    return false;
}

bool AtomicFile::Commit(bool durable) {
    if (temp_.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return false;
    }
    if (durable && file_.IsOpen() && !file_.Sync()) {
        Abandon();
        return false;
    }
    file_.Close();
    if (::rename(temp_.c_str(), final_.c_str()) != 0) {
        SetLastError(ErrorFromErrno(errno));
        Abandon();
        return false;
    }
    temp_.clear();
    if (durable) {
        const std::string folder = final_.substr(0, final_.find_last_of('/') + 1);
        const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd >= 0) {
            ::fsync(fd);
            ::close(fd);
        }
    }
    return true;
}

void AtomicFile::Abandon() {
    file_.Close();
    if (!temp_.empty())
        ::unlink(temp_.c_str());
    temp_.clear();
}

bool WriteFileAtomically(const std::string& path, const void* bytes, std::size_t count,
                         bool durable) {
    AtomicFile f;
    return f.Create(path) && f.file().Write(bytes, count) && f.Commit(durable);
}

int RemoveLeftoverTempFiles(const std::string& folder) {
    const std::string host = ResolvePath(folder);
    DIR* dir = host.empty() ? nullptr : ::opendir(host.c_str());
    if (!dir)
        return 0;
    int removed = 0;
    while (dirent* e = ::readdir(dir)) {
        const std::string name = e->d_name;
        if (name.size() > 1 && name[0] == '.' && EndsWith(name, AtomicFile::kTempSuffix) &&
            ::unlinkat(::dirfd(dir), name.c_str(), 0) == 0)
            ++removed;
    }
    ::closedir(dir);
    return removed;
}

}  // namespace platform
