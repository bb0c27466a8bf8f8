#pragma once
// What quillon-share checks before it listens, so that a server that could not serve says so at
// its start, once, instead of failing every client's backup later without a word.
#include <string>

#include "ServeOptions.h"

// The recordings root as the service reads it: a drive path stays as given; a host folder
// becomes the drive path that reaches it.
std::string StorageRoot(const std::string& root);

// Why images cannot be built here ("" when they can): the working folder
// (C:\NetBackupTemp\Reserved, below the machine prefix) must be a folder this user can make and
// write a file in. The message names the folder, the host path behind it and the reason.
std::string WorkingFolderProblem();

// Why the recordings root is not a folder this server can read ("" when it is): worth a
// warning, as a recorder's disk may be mounted after the server starts.
std::string RecordingsProblem(const std::string& storageRoot);

