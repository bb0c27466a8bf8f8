#pragma once
// A file read for trust: opened without following a link in its place and without waiting on a
// pipe put there, looked at as opened, and read whole up to a limit. The callers decide whom
// they trust by what stat() says of it.
#include <sys/stat.h>

#include <cstddef>
#include <string>

namespace platform {

class PlainFileRead {
  public:
    PlainFileRead() = default;
    ~PlainFileRead();
    PlainFileRead(const PlainFileRead&) = delete;
    PlainFileRead& operator=(const PlainFileRead&) = delete;

    // False with why (without the file's name) when the name is a link, no regular file, or
    // cannot be opened; missing() tells the one case of no file at all.
    bool Open(const std::string& hostPath, std::string& why);
    bool missing() const { return missing_; }
    const struct stat& status() const { return st_; }
    // The whole file, at most limit bytes; false with why when longer or unreadable.
    bool ReadAll(std::size_t limit, std::string& out, std::string& why);

  private:
    int fd_ = -1;
    bool missing_ = false;
    struct stat st_ {};
};

// "0644" of a file's mode.
std::string OctalMode(unsigned mode);

}  // namespace platform
