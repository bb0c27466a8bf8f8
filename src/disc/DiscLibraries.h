#pragma once
// libburn and libisofs are set up once for every user in the process (writers and readers).
namespace disc {

// False when the libraries cannot be set up; each true is matched by one release.
bool AcquireLibraries();
void ReleaseLibraries();

}  // namespace disc
