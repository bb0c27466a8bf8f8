#pragma once
// Where a program finds its data (the language files, GUIS and Other) and where its base folder
// (the one holding "Reserved") is when no --base is given. In a build tree both are the
// program's own folder. An installed program finds its data in the installed data folder and,
// as nothing may be written below the install folder, keeps its base folder in the machine
// prefix, with links to the data so that the viewer copy and the language lookups find it there.
#include <string>

#include "platform/Error.h"

namespace platform {

struct ProgramFolders {
    std::string data;  // host folder of the language files, GUIS and Other
    std::string base;  // host folder of the default base folder
    bool installed = false;
};

// Where the install puts the data, from the programs' folder ("../share/quillon").
std::string InstalledDataFromProgram();

// The folders of a program whose file lies in programFolder (a host path). The data is beside
// the program when its GUIS folder is there; otherwise installedData, taken from the program's
// folder, when that holds GUIS; otherwise the program's folder as in a build tree.
ProgramFolders FoldersOfProgramIn(const std::string& programFolder,
                                  const std::string& installedData);
// The folders of the running program (for a helper in libexec/quillon, those of the programs
// in bin/ beside it).
ProgramFolders CurrentProgramFolders();

// The drive path of a host folder, ending in a separator, as the base and program folders are
// written ("C:\\Backup\\").
std::string DriveFolderOf(const std::string& hostFolder);

// Readies an installed program's base folder: makes it and links each entry of the data folder
// that it lacks. A file or folder of the operator's own of such a name is kept, as is a link that
// leads somewhere; a link that leads nowhere (an earlier install moved or removed) is made anew
// or, when the data has no such entry any more, removed. Does nothing for a build tree.
Outcome PrepareBaseFolder(const ProgramFolders& folders);

}  // namespace platform
