#include <cctype>
#include <cstdio>

#include "CliCommands.h"
#include "backup/exhibit/VouchedReport.h"
#include "mp4/StampedVideos.h"
#include "platform/DrivePaths.h"
#include "platform/DriveTable.h"
#include "platform/FileSystem.h"
#include "platform/Utf8.h"
#ifdef QUILLON_HAVE_DISC
#include "disc/DiscImageFiles.h"
#endif

int Fail(const std::string& what) {
    std::fprintf(stderr, "quillon-cli: %s\n", what.c_str());
    return 1;
}

std::string Printable(const std::string& text) {
    std::string out;
    char escaped[16];
    for (std::size_t at = 0; at < text.size();) {
        std::size_t length = 0;
        const char32_t c = platform::NextCodePoint(text, at, length);
        const auto byte = static_cast<unsigned char>(text[at]);
        if ((c == platform::kReplacementCharacter && length == 1) || c < 0x20 || c == 0x7f) {
            std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
            out += escaped;
        } else if (platform::IsInvisibleCharacter(c)) {
            std::snprintf(escaped, sizeof escaped, "\\u%04X", static_cast<unsigned>(c));
            out += escaped;
        } else {
            out.append(text, at, length);
        }
        at += length;
    }
    return out;
}

integrity::VerifyReport CheckCommandImage(integrity::ImageFiles& image, const std::string& hostRoot,
                                          const integrity::VerifyOptions& options) {
    integrity::VerifyReport report = integrity::VerifyImage(image, options);
    if (!hostRoot.empty())
        mp4::AcceptStampedVideos(report, hostRoot, exhibit::SignedPartsOfImage(image));
    return report;
}

std::string CommandLineFolder(const std::string& text) {
    const bool drivePath = text.size() >= 2 && text[1] == ':';
    return drivePath ? text : platform::ToDrivePath(text);
}

std::string CommandHostPath(const std::string& path) {
    const bool drivePath =
        path.size() >= 2 && path[1] == ':' && std::isalpha(static_cast<unsigned char>(path[0]));
    std::string host = drivePath ? platform::ResolvePath(path) : path;
    while (host.size() > 1 && host.back() == '/')
        host.pop_back();
    return host;
}

platform::Expected<std::unique_ptr<integrity::ImageFiles>> OpenCommandImage(
    const std::string& disc, const std::string& folder) {
    using platform::Error;
    if (!disc.empty()) {
#ifdef QUILLON_HAVE_DISC
        return disc::OpenDiscImage(
            static_cast<char>(std::toupper(static_cast<unsigned char>(disc[0]))));
#else
        return Error{Error::Kind::kFailed, "this quillon-cli was built without disc support", ""};
#endif
    }
    const std::string host = CommandHostPath(folder);
    if (host.empty() || !platform::IsDirectory(host))
        return Error{Error::Kind::kNotFound, "is not a folder", folder};
    return integrity::OpenFolderImage(host);
}

CliSession::CliSession(const CliOptions& options)
    : view(options.progress),
      folders_(platform::CurrentProgramFolders()),
      ownBase_(options.base.empty()) {
    // The language file is the program's, as in the dialog; the base folder may be elsewhere.
    backup::RecorderSetup setup;
    setup.dataFolder = platform::DriveFolderOf(folders_.data);
    setup.language = "eng";
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

bool CliSession::OpenWorkingFolder(bool wait, bool machineWide) {
    const platform::Outcome taken =
        session.TakeWorkingFolder({wait, machineWide, ownBase_, folders_});
    return taken ? true : Refuse(taken.error().Said());
}
