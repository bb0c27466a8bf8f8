#pragma once
// What the dialog's start-up does, without a window: the program folder and language, the base
// folder, the host values, and, for the commands that use the working folder, the "Backup" lock
// and the saved schedule with its list.
#include <memory>
#include <string>

#include "CliRemote.h"
#include "TerminalView.h"
#include "app/CQuillonApp.h"
#include "backup/Session.h"
#include "platform/NamedLock.h"
#include "platform/ProgramFolders.h"

struct CliOptions {
    std::string base;  // base folder (drive or host path); "" for the program's own
    int dateType = 0;
    int cameras = 64;  // the dialog's own values until a host says otherwise
    int modelCode = 0x670;
    int recorderKind = 4;
    bool progress = true;
    bool wait = false;     // wait for another copy to finish instead of refusing
    RemoteOptions remote;  // --remote: the recordings of a recorder served by quillon-share
};

class CliSession {
  public:
    explicit CliSession(const CliOptions& options);

    // Takes the "Backup" lock (unless machineWide is false: a base folder no other program
    // uses) and the base folder's, then loads the saved schedule. False, with the reason on
    // stderr, when another copy runs (or, with wait, after it ended) or the lock cannot be used.
    // An installed program's own base folder is readied first.
    bool OpenWorkingFolder(bool wait, bool machineWide = true);
    // "" when the tool's own files (the drive table, the registry, the language file) are
    // files or absent; else which is something else, so that nothing waits on a pipe or reads a
    // folder as a file.
    std::string OwnFilesProblem() const;

    // Where the data is and which base folder is the program's own.
    const platform::ProgramFolders& folders() const { return folders_; }

    CQuillonApp app;
    TerminalView view;
    backup::Session session{app, view};
    std::unique_ptr<RemoteLink> remote;  // set in remote mode

  private:
    platform::ProgramFolders folders_;
    bool ownBase_ = false;  // no --base: the program's own base folder
    std::unique_ptr<platform::NamedLock> machineLock_, folderLock_;
};

// A folder given on the command line as a drive path, with host paths turned into drive paths.
std::string CommandLineFolder(const std::string& text);
// "drive Q: is not in <prefix>/drives.ini" when path is on a drive the table does not have.
std::string MissingDriveText(const std::string& path);
