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
