#include "platform/ProgramFolders.h"

#include <unistd.h>

#include <filesystem>
#include <set>

#include "platform/AtomicFile.h"
#include "platform/DrivePaths.h"
#include "platform/DriveTable.h"

namespace platform {
namespace fs = std::filesystem;

namespace {

bool HoldsData(const fs::path& folder) {
    std::error_code ec;
    return fs::is_directory(folder / "GUIS", ec);
}

// A link leads nowhere when what it names is gone.
bool Dangling(const fs::path& link) {
    std::error_code ec;
    return fs::is_symlink(fs::symlink_status(link, ec)) && !fs::exists(fs::status(link, ec));
}

bool IsTempName(const std::string& name) {
    const std::string suffix = AtomicFile::kTempSuffix;
    return name.size() > suffix.size() &&
           name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// Puts a link at link as a whole: made under a temporary name of this process (two programs
// may start at once) and renamed over what is there.
std::string PlaceLink(const fs::path& target, const fs::path& link) {
    fs::path temp = link;
    temp += "." + std::to_string(::getpid()) + AtomicFile::kTempSuffix;
    std::error_code ec;
    fs::remove(temp, ec);
    fs::create_symlink(target, temp, ec);
    if (!ec)
        fs::rename(temp, link, ec);
    if (ec) {
        fs::remove(temp, ec);
        // Another copy starting at the same moment may have made it.
        if (fs::exists(fs::status(link, ec)))
            return std::string();
        return "the link " + link.string() + " to " + target.string() + " cannot be made";
    }
    return std::string();
}

}  // namespace

std::string InstalledDataFromProgram() {
    return QUILLON_DATA_FROM_BIN;
}

ProgramFolders FoldersOfProgramIn(const std::string& programFolder,
                                  const std::string& installedData) {
    const fs::path program(programFolder);
    ProgramFolders f;
    f.data = f.base = programFolder;
    if (HoldsData(program))
        return f;
    std::error_code ec;
    const fs::path data = fs::weakly_canonical(program / installedData, ec);
    if (ec || !HoldsData(data))
        return f;
    f.data = data.string();
    f.base = MachinePrefix() + "/base";
    f.installed = true;
    return f;
}

ProgramFolders CurrentProgramFolders() {
    fs::path folder = fs::path(ModuleFileHostPath()).parent_path();
    // A helper installed in libexec/quillon works for a program of the bin/ beside it, with its
    // data and base folder.
    if (folder.filename() == "quillon" && folder.parent_path().filename() == "libexec")
        folder = folder.parent_path().parent_path() / "bin";
    return FoldersOfProgramIn(folder.string(), InstalledDataFromProgram());
}

std::string DriveFolderOf(const std::string& hostFolder) {
    std::string drive = ToDrivePath(hostFolder);
    if (drive.empty() || drive.back() != '\\')
        drive += '\\';
    return drive;
}

Outcome PrepareBaseFolder(const ProgramFolders& folders) {
    if (!folders.installed)
        return Succeeded();
    const fs::path base(folders.base), data(folders.data);
    std::error_code ec;
    fs::create_directories(base, ec);
    if (!fs::is_directory(base, ec))
        return Error{Error::Kind::kFailed, "the base folder " + base.string() + " cannot be made",
                     ""};
    std::set<std::string> names;
    std::error_code listed;
    for (const auto& e : fs::directory_iterator(data, listed)) {
        const std::string name = e.path().filename().string();
        names.insert(name);
        const fs::path link = base / name;
        const fs::file_status there = fs::symlink_status(link, ec);
        if (fs::exists(there) && !Dangling(link))
            continue;  // the operator's own, or a link that still leads to data
        if (std::string problem = PlaceLink(e.path(), link); !problem.empty())
            return Error{Error::Kind::kFailed, problem, ""};
    }
    if (listed)
        return Error{Error::Kind::kNotFound, "the data folder " + data.string() + " cannot be read",
                     ""};
    // Only links directly in the base folder are removed, never what they lead to: those that
    // lead nowhere and those a killed start left under a temporary name.
    for (const auto& e : fs::directory_iterator(base, listed)) {
        const std::string name = e.path().filename().string();
        if (names.count(name) || !fs::is_symlink(fs::symlink_status(e.path(), ec)))
            continue;
        if (Dangling(e.path()) || IsTempName(name))
            fs::remove(e.path(), ec);
    }
    return Succeeded();
}

}  // namespace platform
