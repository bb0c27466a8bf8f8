#pragma once
// The working folder taken for a program without a window: its base folder readied when it is
// the program's own, one copy of Quillon Backup at a time on the machine (unless the base
// folder is no other program's) and on the base folder, and its working folder fit for use.
// The locks are held for as long as the object lives.
#include <memory>
#include <string>

#include "platform/NamedLock.h"
#include "platform/ProgramFolders.h"

namespace backup {

class Session;

class WorkingFolderLock {
  public:
    struct Options {
        bool wait = false;        // wait for another copy to finish instead of refusing
        bool machineWide = true;  // also the machine's one lock ("Backup")
        bool ownBase = false;     // the base folder is the program's own: readied first
        platform::ProgramFolders folders;
    };
    // "" once the folder is taken; else why not (nothing is held).
    std::string Take(Session& session, const Options& options);

  private:
    std::unique_ptr<platform::NamedLock> machine_, folder_;
};

}  // namespace backup
