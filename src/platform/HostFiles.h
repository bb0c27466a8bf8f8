#pragma once
// Whole files read and replaced by host path, with nothing of the drive paths: the drive table
// keeps its own file with these, since it cannot look that file up through the table it is
// loading; the drive-path file functions share them.
#include <cstddef>
#include <string>

namespace platform {

// Writes all bytes to an open file, at its position or, with offset 0 or more, at that offset;
// false, with the last error set, on any error.
bool WriteAllTo(int fd, const void* bytes, std::size_t count, long long offset = -1);

// Reads up to count bytes at offset, until the end of the file; the bytes read, or -1, with the
// last error set, on an error.
long long ReadAllAt(int fd, void* bytes, std::size_t count, long long offset);

// The whole content of a file no longer than limit bytes; false when it is missing, no regular
// file (a pipe in its place is refused at once, not waited on), longer or cannot be read.
bool ReadHostFile(const std::string& hostPath, std::string& out, long long limit);

// Reads up to count bytes from the start of a file into bytes, never waiting on a pipe: the
// bytes read (fewer at its end, 0 when they cannot be read); kCannotOpen when it cannot be
// opened (missing among it); kNotAFile for a folder, a pipe or a device.
constexpr long long kCannotOpen = -1;
constexpr long long kNotAFile = -2;
long long ReadHostFileHead(const std::string& hostPath, void* bytes, std::size_t count);

// Temporary files end in this, so that what a killed run left can be found and removed (see
// RemoveLeftoverTempFiles in AtomicFile.h).
constexpr const char* kTempFileSuffix = ".quillon-part";

// A name for a temporary file beside hostPath: hidden, in the same folder, unique to this
// process and call, ending in suffix.
std::string TempNameBeside(const std::string& hostPath, const char* suffix);

// Writes bytes as the whole content of hostPath through a temporary file beside it, renamed
// over it when whole. False, with the last error set, when it could not; the temporary file is
// then removed.
bool ReplaceHostFile(const std::string& hostPath, const std::string& bytes);

}  // namespace platform
