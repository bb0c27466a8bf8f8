// quillon-cli: the main job without a window.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "CliCommands.h"
#include "VideoHelper.h"
#include "platform/DrivePaths.h"
#include "platform/DriveTable.h"
#include "platform/ProgramFolders.h"
#include "platform/Registry.h"
#include "platform/Signals.h"
#include "platform/TimeZone.h"

namespace {

const char kUsage[] =
    "usage: quillon-cli [options] COMMAND ...\n"
    "  days                                  recorded days, newest first\n"
    "  day YYYYMMDD                          hours, minutes and cameras with recordings\n"
    "  add YYYYMMDD HHMM HHMM --cams LIST [--memo TEXT]\n"
    "                                        adds an entry; LIST: 1,2,5 (1-64) or all\n"
    "  list                                  the schedule\n"
    "  delete ENTRY                          removes an entry (its label as list shows it,\n"
    "                                        or its entry string 2010_05_23=10,00~10,06)\n"
    "  memo ENTRY TEXT                       stores an entry's memo (at most 250 bytes)\n"
    "  backup --folder DRIVE-PATH [--viewer] [--mp4]\n"
    "                                        backs the schedule up into a folder; --mp4:\n"
    "                                        with each camera of each entry as an MP4\n"
    "  backup --disc LETTER [--viewer] [--mp4]\n"
    "                                        builds the image and writes it to the disc\n"
    "  erase --disc LETTER                   erases the rewritable disc in that drive\n"
    "  verify PATH | --disc LETTER [--key FILE] [--cert FILE] [--deep]\n"
    "                                        checks an image against its SHA256SUMS: a\n"
    "                                        folder (drive or host path) or a written disc;\n"
    "                                        --key: the public key to trust, --deep: also\n"
    "                                        the minute indexes; its MP4 files' export\n"
    "                                        boxes and signatures too (--cert: the\n"
    "                                        certificate to trust)\n"
    "  export IMAGE|--disc LETTER --mp4 --out DIR [--cams LIST] [--entry ENTRY]\n"
    "         [--force]                      makes an MP4 file of each camera of each\n"
    "                                        entry of a checked image, in\n"
    "                                        DIR/2010-05-23_1000-1006 for each entry; whole\n"
    "                                        entries of a partial image too; --force: also\n"
    "                                        entries its check cannot vouch for\n"
    "  pull NAME                             one unattended run for the recorder NAME of\n"
    "                                        $QUILLON_PULL_DIR or /etc/quillon/pull.d:\n"
    "                                        schedules its range, backs it up into a new\n"
    "                                        image folder and verifies it\n"
    "  key create                            makes this machine's signing key; every\n"
    "                                        manifest is signed with it from then on\n"
    "  info                                  version, prefix, folders, recordings\n"
    "options: --base DIR (base folder; default the program folder, or when installed\n"
    "         $QUILLON_PREFIX/base), --date-type 0-8,\n"
    "         --time-zone ZONE (the recorder's, e.g. America/Chicago, when it is not this\n"
    "         machine's: the zone its recorded times are read in),\n"
    "         --cameras 1-64 (default 64), --model HEX (default 670), --no-progress,\n"
    "         --wait (wait for another running copy to finish instead of refusing),\n"
    "         --remote ADDRESS:PORT [--token-file FILE] (days, day, add and backup\n"
    "         --folder with the recordings of a recorder served by quillon-share; the\n"
    "         token from FILE (mode 0600), else QUILLON_SHARE_TOKEN, else the service's\n"
    "         credential \"token\"; --token TOKEN is shown to every user by ps)\n"
    "         --remote https://ADDRESS:PORT [--ca FILE | --pin sha256:HEX] (over TLS: the\n"
    "         server's certificate checked against the authority in FILE, or by its pin)\n"
    "Drive paths such as C:\\Backup resolve through $QUILLON_PREFIX/drives.ini.\n"
    "quillon-cli --version prints the version, --help this text.\n";

int Number(const std::string& option, const std::string& text, int base, int low, int high) {
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, base);
    if (text.empty() || *end || v < low || v > high)
        throw UsageError{option + " takes a number from " + std::to_string(low) + " to " +
                         std::to_string(high) + ": " + text};
    return static_cast<int>(v);
}

// Reads and prints only: no registry key is made for a value that is not there, and --base is
// the base folder shown, whether or not it exists.
int Info(const CliOptions& options) {
    const platform::ProgramFolders folders = platform::CurrentProgramFolders();
    const std::string base = options.base.empty()
                                 ? folders.base
                                 : platform::ResolvePath(CommandLineFolder(options.base));
    std::string recordings = "c:\\QorData";
    platform::RegistryHive().QueryValue("Software\\VIRERURO\\CONFIG\\RECINFO", "StoragePath",
                                        recordings);
    std::printf(
        "quillon-cli %s\nprefix %s\nprogram folder %s\ndata folder %s\nbase folder %s\n"
        "recordings %s\n",
        QUILLON_VERSION, platform::MachinePrefix().c_str(), platform::GetModulePath().c_str(),
        folders.data.c_str(), base.c_str(), recordings.c_str());
    return 0;
}

// Sections of drives.ini the table cannot use, said before any command uses the table.
void ReportDriveTableProblems() {
    for (const auto& problem : platform::CurrentDrives()->problems())
        std::fprintf(stderr, "quillon-cli: %s\n", problem.text.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    // A file-size limit must end a write as a full target does, not kill the process.
    platform::IgnoreFileSizeLimit();
    // A closed pipe on stdout or stderr must not end a backup halfway.
    platform::IgnoreBrokenPipes();
    CliOptions options;
    CliArgs args;
    std::string command;
    std::string timeZone;  // --time-zone
    try {
        for (int i = 1; i < argc; ++i) {
            const std::string a = argv[i];
            auto value = [&]() -> std::string {
                if (i + 1 >= argc)
                    throw UsageError{a + " needs a value"};
                return argv[++i];
            };
            auto session = [&](const std::string& v) {
                args.sessionOptions.insert(args.sessionOptions.end(), {a, v});
                return v;
            };
            if (a == "--help" || a == "-h") {
                std::fputs(kUsage, stdout);
                return 0;
            } else if (a == "--version") {
                std::printf("quillon-cli %s\n", QUILLON_VERSION);
                return 0;
            } else if (a == "--base") {
                options.base = session(value());
            } else if (a == "--date-type") {
                options.dateType = Number(a, session(value()), 10, 0, 8);
            } else if (a == "--cameras") {
                options.cameras = Number(a, session(value()), 10, 1, 64);
            } else if (a == "--time-zone") {
                timeZone = session(value());
                args.timeZone = true;
            } else if (a == "--model") {
                options.modelCode = Number(a, value(), 16, 0, 0x7fffffff);
            } else if (a == "--remote") {
#ifdef QUILLON_HAVE_SHARE
                if (!ParseRemote(session(value()), options.remote))
                    throw UsageError{"--remote takes ADDRESS:PORT, the port of quillon-share"};
#else
                throw UsageError{"this quillon-cli was built without the remote link"};
#endif
            } else if (a == "--token") {
                options.remote.token = value();  // never repeated in the commands printed
                // Out of /proc/PID/cmdline from now on, as quillon-share does; ps showed it
                // until here all the same.
                std::memset(argv[i], '*', std::strlen(argv[i]));
                std::fputs(
                    "quillon-cli: --token shows the token to every user of this machine (ps); "
                    "give it with --token-file or QUILLON_SHARE_TOKEN instead\n",
                    stderr);
            } else if (a == "--token-file") {
                options.remote.tokenFile = session(value());
            } else if (a == "--ca") {
                options.remote.ca = session(value());
            } else if (a == "--pin") {
                options.remote.pin = session(value());
            } else if (a == "--no-progress") {
                options.progress = false;
            } else if (a == "--wait") {
                options.wait = true;
            } else if (a == "--cams") {
                args.cams = value();
            } else if (a == "--memo") {
                args.memo = value();
                args.hasMemo = true;
            } else if (a == "--folder") {
                args.folder = value();
            } else if (a == "--disc") {
                args.disc = value();
            } else if (a == "--viewer") {
                args.viewer = true;
            } else if (a == "--key") {
                args.key = value();
            } else if (a == "--cert") {
                args.cert = value();
            } else if (a == "--deep") {
                args.deep = true;
            } else if (a == "--mp4") {
                args.mp4 = true;
            } else if (a == "--out") {
                args.out = value();
            } else if (a == "--entry") {
                args.entry = value();
            } else if (a == "--force") {
                args.force = true;
            } else if (a.size() > 1 && a[0] == '-' && a[1] == '-') {
                throw UsageError{"unknown option " + a};
            } else if (command.empty()) {
                command = a;
            } else {
                args.positional.push_back(a);
            }
        }
        if (command.empty())
            throw UsageError{"no command given"};
        // Before anything reckons a recorded time: the recorder's clock reads the local time of
        // its own zone, which need not be this machine's.
        if (std::string why; !timeZone.empty() && !platform::UseTimeZone(timeZone, why))
            throw UsageError{"--time-zone: " + why};
#ifndef QUILLON_HAVE_VIDEO
        if (command == "export" || (command == "backup" && args.mp4))
            return HandToVideoHelper(std::vector<std::string>(argv, argv + argc));
#endif
        ReportDriveTableProblems();
        if (command == "info")
            return Info(options);
        // These look at images and keys, not at a recorder or the working folder.
        if (command == "verify")
            return CmdVerify(args, options.progress);
        if (command == "key")
            return CmdKey(args);
#ifdef QUILLON_HAVE_VIDEO
        if (command == "export")
            return CmdExport(args, options.progress);
#endif
#ifdef QUILLON_HAVE_SHARE
        if (command == "pull")
            return CmdPull(args, options);
#endif
        struct Command {
            int (*run)(CliSession&, const CliArgs&);
            bool workingFolder;  // reads or writes the working folder: one copy at a time
        };
        static const std::map<std::string, Command> kCommands = {
            {"days", {CmdDays, false}},    {"day", {CmdDay, false}},      {"add", {CmdAdd, true}},
            {"list", {CmdList, true}},     {"delete", {CmdDelete, true}}, {"memo", {CmdMemo, true}},
            {"backup", {CmdBackup, true}}, {"erase", {CmdErase, false}}};
        const auto found = kCommands.find(command);
        if (found == kCommands.end())
            throw UsageError{"unknown command " + command};
        if ((!options.remote.token.empty() || !options.remote.tokenFile.empty()) &&
            options.remote.address.empty())
            throw UsageError{"--token and --token-file go with --remote"};
        if (!options.remote.token.empty() && !options.remote.tokenFile.empty())
            throw UsageError{"give the token once: --token-file FILE (or --token, which ps shows)"};
#ifdef QUILLON_HAVE_SHARE
        if (const std::string tls = RemoteTlsProblem(options.remote); !tls.empty())
            throw UsageError{tls};
        if (!options.remote.address.empty()) {
            if (const std::string problem = TakeRemoteToken(options.remote); !problem.empty()) {
                std::fprintf(stderr, "quillon-cli: %s\n", problem.c_str());
                return 1;
            }
        }
#endif
        CliSession session(options);
        if (const std::string problem = session.OwnFilesProblem(); !problem.empty()) {
            std::fprintf(stderr, "quillon-cli: %s\n", problem.c_str());
            return 1;
        }
        if (found->second.workingFolder && !session.OpenWorkingFolder(options.wait))
            return 1;
        return found->second.run(session, args);
    } catch (const UsageError& e) {
        std::fprintf(stderr, "quillon-cli: %s\n%s", e.what.c_str(), kUsage);
        return 2;
    }
}
