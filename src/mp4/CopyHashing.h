#pragma once
// The media of an export file, copied as it is into the file that takes its place and hashed on
// its way: whoever writes the file's signatures signs what was copied.
#include <cstdint>

#include "integrity/Sha256.h"
#include "mp4/BoxReader.h"
#include "platform/AtomicFile.h"

namespace mp4 {

// Whole, or where reading the source or writing out stopped the copy.
struct CopyResult {
    enum class Stop { kDone, kRead, kWrite };
    Stop stop = Stop::kDone;
    std::uint64_t at = 0;      // the offset of the slice that failed
    platform::Status written;  // the write's failure, when kWrite (a full disk among them)
    bool ok() const { return stop == Stop::kDone; }
};

// Copies bytes [0, to) of source to out's position, giving each to hash as well.
CopyResult CopyHashing(ByteSource& source, platform::AtomicFile& out, std::uint64_t to,
                       integrity::Sha256& hash);

}  // namespace mp4
