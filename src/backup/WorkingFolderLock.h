#pragma once
// The base folder taken for a program without a window: readied when it is the program's own,
// and one copy of Quillon Backup at a time on the machine (unless the base folder is no other
// program's) and on the base folder. The locks are held until Release or for as long as the
// object lives. Session::TakeWorkingFolder takes it with the working folder's checks.
#include <memory>
#include <string>

#include "platform/Error.h"
#include "platform/NamedLock.h"
#include "platform/ProgramFolders.h"

namespace backup {

class WorkingFolderLock {
  public:
    struct Options {
        bool wait = false;        // wait for another copy to finish instead of refusing
        bool machineWide = true;  // also the machine's one lock ("Backup")
        bool ownBase = false;     // the base folder is the program's own: readied first
        platform::ProgramFolders folders;
    };
    // base (a drive path) taken, or why not (nothing is held then).
    platform::Outcome Take(const std::string& base, const Options& options);
    void Release();

  private:
    std::unique_ptr<platform::NamedLock> machine_, folder_;
};

}  // namespace backup
