#pragma once
// A file opened by drive path, with the open modes the tool uses. Failures return false or -1
// and set the thread's last error; nothing throws.
#include <cstdint>
#include <string>

#include "platform/Types.h"

namespace platform {

// Which file a name leads to: the same device and inode is the same file, whatever its name.
struct FileId {
    std::uint64_t device = 0, inode = 0;
    bool operator==(const FileId&) const = default;
};

// What says that a file is the one it was, with the bytes it had: its identity, its length and
// the times of its last write and last status change (the latter no program can set back).
struct FileStamp {
    FileId id;
    long long length = -1;
    std::int64_t modifiedNs = 0, changedNs = 0;
    bool operator==(const FileStamp&) const = default;
};

// The length and identity of the file a host path names (a link is not followed); false when
// there is none.
bool StatFile(const std::string& hostPath, long long& length, FileId& id);

class File {
  public:
    enum Mode {
        kRead,         // existing file, read only
        kReadNoLink,   // the same, but a link in the file's place is refused, not followed
        kCreateWrite,  // create or truncate, write only
        kCreateNew,    // a new file, write only; fails when the name exists (also as a link)
    };

    File() = default;
    ~File() { Close(); }
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;

    bool Open(const std::string& path, Mode mode);
    // The same for a host path already looked up (from a listing or ResolvePath), so that it is
    // not looked up again.
    bool OpenResolved(const std::string& hostPath, Mode mode);
    void Close();
    // Has the system begin writing the file's cached bytes to its device without waiting for
    // them: a pass's files then reach a stick while it writes the next ones, instead of all of
    // them in its flush at the end.
    void StartWriteback();
    bool IsOpen() const { return fd_ >= 0; }
    int handle() const { return fd_; }
    // A handle of its own for reading the same file (also one being written, or already
    // renamed or deleted), which another thread may read at offsets while this one writes on:
    // being read-only, it keeps no one from turning the volume read-only. Not open when the
    // system cannot give one.
    File ReadingTwin() const;
    // Gives up the handle to whoever closes it from now on.
    int Release();

    // Bytes read (0 at the end), or -1 on an error.
    long long Read(void* buffer, std::size_t count);
    long long ReadAt(void* buffer, std::size_t count, std::uint64_t offset);
    // Writes all bytes; false on any error (a full disk among them). A large write is made in
    // slices of kWriteSlice: one call of a megabyte has the system put it into large pages of
    // its cache, which on memory it must first get back from beneath it (a virtual machine
    // returns freed memory to its host) cost up to seven times the copy itself, where slices
    // cost what the system's own file copy does.
    static constexpr std::size_t kWriteSlice = std::size_t{128} << 10;
    bool Write(const void* buffer, std::size_t count);
    bool WriteAt(const void* buffer, std::size_t count, std::uint64_t offset);
    bool Seek(std::uint64_t offset);
    // Copies the rest of this file to out, from both files' current positions, by the fastest
    // means the system offers for the pair (a copy inside the system, else a transfer between
    // the two, else a large buffer), chosen once. Bytes copied, or -1 on an error, the last
    // error saying which (ERROR_DISK_FULL among them).
    long long CopyAllTo(File& out);
    // Sends up to count bytes from offset to a connected socket by the system's own means,
    // without bringing them into this process. Bytes sent; 0 at the file's end, or when the
    // socket takes nothing now (wouldBlock then says so); -1 on an error.
    long long SendTo(int socket, std::uint64_t offset, std::size_t count, bool* wouldBlock);
    // Length in bytes, or -1.
    long long Length() const;
    // The open file's identity (zeros when it is not open).
    FileId Id() const;
    // The open file's stamp (length -1 when it is not open).
    FileStamp Stamp() const;
    // Flushes to the device; false when the data could not be stored.
    bool Sync();

  private:
    int fd_ = -1;
};

// The whole content of a file (a host path) no longer than limit bytes; false when it is
// missing, longer or cannot be read.
bool ReadWholeFile(const std::string& hostPath, std::string& out, long long limit);

}  // namespace platform
