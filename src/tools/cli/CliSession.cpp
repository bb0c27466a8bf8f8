#include "CliSession.h"

#include <cstdio>

#include "platform/DrivePaths.h"
#include "platform/DriveTable.h"
#include "platform/FileSystem.h"

std::string CommandLineFolder(const std::string& text) {
    const bool drivePath = text.size() >= 2 && text[1] == ':';
    return drivePath ? text : platform::ToDrivePath(text);
}

std::string MissingDriveText(const std::string& path) {
    const char letter = platform::MissingDrive(path);
    if (!letter)
        return std::string();
    return std::string("drive ") + letter + ": of " + path + " is not in " +
           platform::MachinePrefix() + "/drives.ini";
}

CliSession::CliSession(const CliOptions& options)
    : view(options.progress),
      folders_(platform::CurrentProgramFolders()),
      ownBase_(options.base.empty()) {
    // The language file is the program's, as in the dialog; the base folder may be elsewhere.
    const std::string data = platform::DriveFolderOf(folders_.data);
    app.m_strExePath = data;
    app.m_strLanguage = "eng";
    backup::RecorderSetup setup;
    setup.dataFolder = data;
    setup.language = app.m_strLanguage;
    setup.baseFolder =
        ownBase_ ? platform::DriveFolderOf(folders_.base) : CommandLineFolder(options.base);
    setup.dateType = options.dateType;
    setup.cameras = options.cameras;
    setup.modelCode = options.modelCode;
    setup.recorderKind = options.recorderKind;
    session.SetUpRecorder(setup);
#ifdef QUILLON_HAVE_SHARE
    if (!options.remote.address.empty())
        remote = std::make_unique<RemoteLink>(session, options.remote);
#endif
}

std::string CliSession::OwnFilesProblem() const {
    const std::string prefix = platform::MachinePrefix();
    const std::string language = session.Profile().LanguageDataPath();
    for (const std::string& path :
         {prefix + "/drives.ini", prefix + "/registry.ini", platform::ResolvePath(language)}) {
        if (path.empty())
            continue;
        if (const std::string what = platform::NotAFile(path); !what.empty())
            return path + " is " + what + ", not a file: remove it or put the file in its place";
    }
    return std::string();
}

namespace {

bool ReportLockAttempt(const platform::NamedLock::Attempt& a) {
    using Outcome = platform::NamedLock::Outcome;
    if (a.outcome == Outcome::kAcquired)
        return true;
    if (a.outcome == Outcome::kHeldByOther) {
        const std::string pid = a.holderPid > 0 ? " (pid " + std::to_string(a.holderPid) + ")" : "";
        std::fprintf(stderr,
                     "quillon-cli: another copy of Quillon Backup is running%s; run this again "
                     "when it has finished, or add --wait\n",
                     pid.c_str());
    } else {
        std::fprintf(stderr, "quillon-cli: %s\n", a.problem.c_str());
    }
    return false;
}

}  // namespace

bool CliSession::OpenWorkingFolder(bool wait, bool machineWide) {
    if (ownBase_) {
        if (const std::string problem = platform::PrepareBaseFolder(folders_); !problem.empty()) {
            std::fprintf(stderr, "quillon-cli: %s\n", problem.c_str());
            return false;
        }
    }
    const std::string base = session.BaseFolder();
    const std::string missing = MissingDriveText(base);
    if (!missing.empty()) {
        std::fprintf(stderr, "quillon-cli: the base folder's %s\n", missing.c_str());
        return false;
    }
    const std::string baseHost = platform::ResolvePath(base);
    if (!platform::IsDirectory(base)) {
        std::fprintf(stderr, "quillon-cli: the base folder %s (%s) does not exist\n", base.c_str(),
                     baseHost.c_str());
        return false;
    }
    platform::NamedLock::Attempt machine;
    if (machineWide) {
        machine = platform::NamedLock::Acquire("Backup", wait);
        if (!ReportLockAttempt(machine))
            return false;
    }
    // The runtime folder is per user: the base folder's own lock keeps out a copy of another.
    platform::NamedLock::Attempt folder = platform::NamedLock::AcquireFolder(baseHost, wait);
    if (!ReportLockAttempt(folder))
        return false;
    machineLock_ = std::move(machine.lock);
    folderLock_ = std::move(folder.lock);
    // A working folder that is a link could lead every write and the clean-up elsewhere.
    if (const std::string problem = session.WorkingFolderProblem(); !problem.empty()) {
        std::fprintf(stderr, "quillon-cli: %s\n%s\n", session.Text("BACKUP", "Q010005").c_str(),
                     problem.c_str());
        return false;
    }
    // The saved schedule, as the dialog restores it at start.
    session.LoadSavedSchedule();
    return true;
}
