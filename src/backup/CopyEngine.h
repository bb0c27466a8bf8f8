#pragma once
// The file copy under the extraction and the package: a wildcard copy into a folder with the
// status line and size accounting, and the single-file copy in 8192-byte chunks beneath it.
#include <string>

#include "backup/BackupContext.h"

constexpr std::size_t kCopyChunk = 8192;

// Copies every file that path (a file path or a wildcard) matches into folder under its own
// name, in search order, counting each into m_nDoneSize before it is copied. 0 when nothing
// matches or the folder cannot be made (the operator is told), else 1, also when a copy failed
// and ended the loop early. Runs on the worker thread.
BOOL CopyFilesToFolder(BackupContext& ctx, const std::string& path, const std::string& folder);

// Copies source to destination chunk by chunk. 0 when the source cannot be opened, the
// destination cannot be created, or a read or write fails; a destination left incomplete is
// removed, and the failure is entered in the backup report.
BOOL CopyFileOverlapped(BackupContext& ctx, const std::string& source,
                        const std::string& destination);
