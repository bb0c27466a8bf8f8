#pragma once
// Files that decide what a program does unattended (a pull's configuration, the folders of a
// token file): whoever may change them may send the program, and its token, anywhere. They are
// trusted only when nobody but the running user and the superuser may change them or the folders
// that lead to them.
#include <cstddef>
#include <string>

#include "platform/Error.h"

namespace platform {

// Whether nobody else may change the folder (a host path) or one that leads to it, or why they
// may (refused) or it cannot be told: each must belong to the running user or the superuser, and
// one that its group or others may write to must be sticky (as /tmp is), so that they cannot
// rename what is in it.
Outcome CheckFolderChain(const std::string& hostFolder);

// Reads the whole of a file of at most limit bytes that nobody else may change: a regular file,
// not a link, of the running user or the superuser, that neither its group nor others may write
// to, in folders CheckFolderChain accepts. Why not (about the file) when it is missing (not
// found), cannot be trusted (refused) or cannot be read.
Expected<std::string> ReadTrustedFile(const std::string& hostPath, std::size_t limit);

}  // namespace platform
