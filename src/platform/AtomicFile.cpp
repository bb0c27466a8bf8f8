#include "platform/AtomicFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string_view>

#include "platform/DrivePaths.h"
#include "platform/EarlyWriteback.h"
#include "platform/HostFiles.h"
#include "platform/VolumePin.h"

namespace platform {
namespace {

// One suffix for every temporary file, so that RemoveLeftoverTempFiles finds them all.
static_assert(std::string_view(AtomicFile::kTempSuffix) == kTempFileSuffix);

bool EndsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

Status AtomicFile::Create(const std::string& finalPath) {
    Abandon();
    writerHashes_ = false;
    written_ = 0;
    final_ = ResolvePath(finalPath, PathUse::kCreate);
    const std::size_t cut = final_.find_last_of('/');
    if (final_.empty() || cut == std::string::npos || cut + 1 == final_.size()) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        final_.clear();
        return Status::FromLastError();
    }
    // A hidden name of our own; the process and a counter keep two writers apart.
    for (int attempt = 0; attempt < 16; ++attempt) {
        temp_ = TempNameBeside(final_, kTempSuffix);
        if (file_.OpenResolved(temp_, File::kCreateNew)) {
            // The folder's volume went away since it was pinned: what is beneath it is not
            // where this file belongs.
            if (OffPinnedVolume(final_, file_.Id().device)) {
                Abandon();
                final_.clear();
                SetLastError(ERROR_PATH_NOT_FOUND);
                return Status::FromLastError();
            }
            tap_ = CurrentWriteTap();
            tapHandle_ = tap_ ? tap_->Opened(final_) : -1;
            if (tapHandle_ < 0)
                tap_ = nullptr;
            return Status();
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS)
            break;
    }
    temp_.clear();
    final_.clear();
    return Status::FromLastError();
}

Status AtomicFile::Commit(bool durable) {
    return CommitHashed(std::string(), durable);
}

Status AtomicFile::CommitHashed(const std::string& sha256Hex, bool durable) {
    if (temp_.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return Status::FromLastError();
    }
    if (durable && file_.IsOpen() && !file_.Sync()) {
        Abandon();
        return Status::FromLastError();
    }
    const long long length = tap_ ? file_.Length() : -1;
    const FileId id = tap_ ? file_.Id() : FileId{};
    if (!durable && WantsEarlyWriteback(final_))
        file_.StartWriteback();
    file_.Close();
    if (::rename(temp_.c_str(), final_.c_str()) != 0) {
        SetLastError(ErrorFromErrno(errno));
        Abandon();
        return Status::FromLastError();
    }
    temp_.clear();
    CloseTap(true, length, id, writerHashes_ ? &sha256Hex : nullptr);
    if (durable) {
        const std::string folder = final_.substr(0, final_.find_last_of('/') + 1);
        const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd >= 0) {
            ::fsync(fd);
            ::close(fd);
        }
    }
    return Status();
}

Status AtomicFile::Write(const void* bytes, std::size_t count) {
    if (!file_.Write(bytes, count))
        return Status::FromLastError();
    written_ += static_cast<long long>(count);
    if (tap_ && !writerHashes_)
        HandCopy(*tap_, tapHandle_, bytes, count);
    return Status();
}

Status AtomicFile::CopyFrom(File& in, long long* copied) {
    long long total = 0;
    if (copied)
        *copied = 0;
    if (!tap_) {
        total = in.CopyAllTo(file_);
        if (total < 0)
            return Status::FromLastError();
        if (copied)
            *copied = total;
        return Status();
    }
    // Through buffers the tap owns, so that what it hashes is what was written: bytes read back
    // from the file later could be others by then. It takes in each buffer while the next is
    // read and written.
    for (;;) {
        char* buffer = tap_->TakeBuffer();
        const long long n = in.Read(buffer, WriteTap::kBufferBytes);
        const bool written = n > 0 && file_.Write(buffer, static_cast<std::size_t>(n));
        tap_->Hand(tapHandle_, buffer, n > 0 ? static_cast<std::size_t>(n) : 0);
        if (n == 0) {
            if (copied)
                *copied = total;
            return Status();
        }
        if (n < 0 || !written)
            return Status::FromLastError();
        total += n;
    }
}

void AtomicFile::CloseTap(bool committed, long long length, FileId id,
                          const std::string* sha256Hex) {
    if (tap_ && sha256Hex)
        tap_->ClosedHashed(tapHandle_, committed, length, id, written_, *sha256Hex);
    else if (tap_)
        tap_->Closed(tapHandle_, committed, length, id);
    tap_ = nullptr;
    tapHandle_ = -1;
}

void AtomicFile::Abandon() {
    CloseTap(false, -1);
    file_.Close();
    if (!temp_.empty())
        ::unlink(temp_.c_str());
    temp_.clear();
}

bool WriteFileAtomically(const std::string& path, const void* bytes, std::size_t count,
                         bool durable) {
    AtomicFile f;
    return f.Create(path) && f.Write(bytes, count) && f.Commit(durable);
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

int RemoveLeftoverTempFilesOf(const std::string& path) {
    const std::string host = ResolvePath(path, PathUse::kCreate);
    const std::size_t cut = host.find_last_of('/');
    if (host.empty() || cut == std::string::npos || cut + 1 == host.size())
        return 0;
    DIR* dir = ::opendir(cut == 0 ? "/" : host.substr(0, cut).c_str());
    if (!dir)
        return 0;
    // As TempNameBeside names them.
    const std::string head = "." + host.substr(cut + 1) + ".";
    int removed = 0;
    while (dirent* e = ::readdir(dir)) {
        const std::string name = e->d_name;
        if (name.compare(0, head.size(), head) == 0 &&
            name.size() > head.size() + std::strlen(AtomicFile::kTempSuffix) &&
            EndsWith(name, AtomicFile::kTempSuffix) &&
            ::unlinkat(::dirfd(dir), name.c_str(), 0) == 0)
            ++removed;
    }
    ::closedir(dir);
    return removed;
}

}  // namespace platform
