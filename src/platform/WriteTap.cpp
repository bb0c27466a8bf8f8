#include "platform/WriteTap.h"

#include <algorithm>
#include <cstring>

#include "platform/DrivePaths.h"
#include "platform/FileSystem.h"

namespace platform {
namespace {

thread_local WriteTap* tCurrent = nullptr;

}  // namespace

WriteTap* CurrentWriteTap() {
    return tCurrent;
}

ScopedWriteTap::ScopedWriteTap(WriteTap* tap) : previous_(tCurrent) {
    tCurrent = tap;
}

ScopedWriteTap::~ScopedWriteTap() {
    tCurrent = previous_;
}

bool WithdrawWrittenFile(const std::string& path) {
    const std::string host = ResolvePath(path);
    if (!DeleteFile(path))
        return false;
    if (tCurrent && !host.empty())
        tCurrent->Withdrawn(host);
    return true;
}

bool GatedWriteTap::Enter() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (closed_)
        return false;
    ++inside_;
    return true;
}

void GatedWriteTap::Leave() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (--inside_ == 0)
        idle_.notify_all();
}

int GatedWriteTap::Opened(const std::string& finalHostPath) {
    if (!Enter())
        return -1;
    const int handle = inner_.Opened(finalHostPath);
    if (handle < 0)
        Leave();
    return handle;  // the file stays inside until it is closed
}

void GatedWriteTap::Closed(int handle, bool committed, long long length, FileId id) {
    inner_.Closed(handle, committed, length, id);
    Leave();
}

void GatedWriteTap::ClosedHashed(int handle, bool committed, long long length, FileId id,
                                 long long hashed, const std::string& sha256Hex) {
    inner_.ClosedHashed(handle, committed, length, id, hashed, sha256Hex);
    Leave();
}

void GatedWriteTap::Withdrawn(const std::string& finalHostPath) {
    if (!Enter())
        return;
    inner_.Withdrawn(finalHostPath);
    Leave();
}

void GatedWriteTap::Close() {
    std::unique_lock<std::mutex> lock(mutex_);
    closed_ = true;
    idle_.wait(lock, [&] { return inside_ == 0; });
}

bool GatedWriteTap::Closing() {
    std::lock_guard<std::mutex> lock(mutex_);
    return closed_;
}

void HandCopy(WriteTap& tap, int handle, const void* bytes, std::size_t count) {
    const auto* p = static_cast<const char*>(bytes);
    while (count > 0) {
        const std::size_t n = std::min(count, WriteTap::kBufferBytes);
        char* buffer = tap.TakeBuffer();
        std::memcpy(buffer, p, n);
        tap.Hand(handle, buffer, n);
        p += n;
        count -= n;
    }
}

}  // namespace platform
