#pragma once
// Files only their owner may read: a signing key, a token.
#include <cstddef>
#include <string>

#include "platform/Error.h"

namespace platform {

// Makes the folder (and its parents) and leaves it open to its owner only.
bool MakeOwnerOnlyFolder(const std::string& hostPath);
// Writes bytes as the whole content of a new file readable by its owner only, through a
// temporary name, flushed to the device; false when it cannot (the name existing among it).
bool WriteOwnerOnlyFile(const std::string& hostPath, const std::string& bytes);
// The permission bits of a file (-1 when missing).
int FileMode(const std::string& hostPath);

// Who may read a secret's file besides the program.
enum class SecretFile {
    // A file of the running user that nobody else may read or write (mode 0600 or stricter).
    kOwnerOnly,
    // A file handed over by the service manager: the owner may be another (it grants access
    // through an access list), but the world has none.
    kHandedOver,
};
// Reads the whole of a secret's file of at most limit bytes. A link in its place is refused, not
// followed, and so is anything but a regular file or a file others may reach as `check` says.
// Why not (about the file): not found when there is none, else why it cannot be trusted or read.
Expected<std::string> ReadSecretFile(const std::string& hostPath, SecretFile check,
                                     std::size_t limit);

}  // namespace platform
