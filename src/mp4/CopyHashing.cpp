#include "mp4/CopyHashing.h"

#include <algorithm>
#include <string>

namespace mp4 {
namespace {

// The media runs to gigabytes: it goes through in slices, never whole.
constexpr std::size_t kCopySlice = std::size_t{1} << 20;

}  // namespace

CopyResult CopyHashing(ByteSource& source, platform::AtomicFile& out, std::uint64_t to,
                       integrity::Sha256& hash) {
    CopyResult result;
    std::string slice(static_cast<std::size_t>(std::min<std::uint64_t>(kCopySlice, to)), '\0');
    for (std::uint64_t at = 0; at < to;) {
        const std::size_t count =
            static_cast<std::size_t>(std::min<std::uint64_t>(kCopySlice, to - at));
        result.at = at;
        if (!source.ReadAt(at, slice.data(), count)) {
            result.stop = CopyResult::Stop::kRead;
            return result;
        }
        hash.Update(slice.data(), count);
        if (platform::Status written = out.Write(slice.data(), count); !written) {
            result.stop = CopyResult::Stop::kWrite;
            result.written = written;
            return result;
        }
        at += count;
    }
    result.at = to;
    return result;
}

}  // namespace mp4
