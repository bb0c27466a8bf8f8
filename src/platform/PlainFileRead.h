#pragma once
// A file read for trust: opened without following a link in its place and without waiting on a
// pipe put there, looked at as opened, and read whole up to a limit. The callers decide whom
// they trust by what stat() says of it.
#include <sys/stat.h>

#include <cstddef>
#include <string>

#include "platform/Error.h"

namespace platform {

class PlainFileRead {
  public:
    PlainFileRead() = default;
    ~PlainFileRead();
    PlainFileRead(const PlainFileRead&) = delete;
    PlainFileRead& operator=(const PlainFileRead&) = delete;

    // Why not (about the file) when there is no file (not found), the name is a link or no
    // regular file (refused), or it cannot be opened.
    Outcome Open(const std::string& hostPath);
    const struct stat& status() const { return st_; }
    // The whole file, at most limit bytes; damaged when longer or unreadable.
    Expected<std::string> ReadAll(std::size_t limit);

  private:
    int fd_ = -1;
    std::string path_;
    struct stat st_ {};
};

// "0644" of a file's mode.
std::string OctalMode(unsigned mode);

}  // namespace platform
