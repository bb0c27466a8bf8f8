#pragma once
// A file held for reading and writing by one holder at a time, in this process or another, for
// as long as the object lives (never past the process): a pseudo-drive's disc, say.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace platform {

class LockedFile {
  public:
    // Opens hostPath, creating it when missing but never through a link, and locks it without
    // waiting. nullptr when it cannot be opened, is no regular file, or has another holder.
    static std::unique_ptr<LockedFile> Take(const std::string& hostPath);
    // Closes the file, which lets go of the lock.
    ~LockedFile();
    LockedFile(const LockedFile&) = delete;
    LockedFile& operator=(const LockedFile&) = delete;

    // Length in bytes, or -1.
    long long Length() const;
    // Up to count bytes at offset: the bytes read (fewer at the end), or -1.
    long long ReadAt(void* bytes, std::size_t count, std::uint64_t offset) const;
    // Cuts the file to nothing; false, with errno saying why, when it could not.
    bool Empty();
    // Brings the file's data and length to the device; false, with errno saying why, when the
    // device did not take it.
    bool Sync();

  private:
    explicit LockedFile(int fd) : fd_(fd) {}
    int fd_;
};

}  // namespace platform
