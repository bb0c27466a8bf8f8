#pragma once
// Files only their owner may read: a signing key.
#include <string>

namespace platform {

// Makes the folder (and its parents) and leaves it open to its owner only.
bool MakeOwnerOnlyFolder(const std::string& hostPath);
// Writes bytes as the whole content of a new file readable by its owner only, through a
// temporary name, flushed to the device; false when it cannot (the name existing among it).
bool WriteOwnerOnlyFile(const std::string& hostPath, const std::string& bytes);
// The permission bits of a file (-1 when missing).
int FileMode(const std::string& hostPath);

}  // namespace platform
