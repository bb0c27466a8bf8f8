// quillon-cli: the main job without a window.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "CliCommands.h"
#include "export/VideoHelper.h"
#include "platform/DrivePaths.h"
#include "platform/DriveTable.h"
#include "platform/ProgramFolders.h"
#include "platform/Registry.h"
#include "platform/Signals.h"
#include "platform/TimeZone.h"
#ifdef QUILLON_HAVE_SHARE
#include "share/LinkSetup.h"
#endif

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
    "  case [--case REF] [--exhibit ID] [--operator NAME] [--clear]\n"
    "                                        keeps the case of the schedule's backups, as\n"
    "                                        the window's fields do; alone, shows it\n"
    "  backup --folder DRIVE-PATH [--viewer] [--mp4]\n"
    "                                        backs the schedule up into a folder; --mp4:\n"
    "                                        with each camera of each entry as an MP4\n"
    "         [--case REF] [--exhibit ID] [--operator NAME]\n"
    "                                        (also with --disc) for the image's exhibit\n"
    "                                        report, report.json and REPORT.pdf\n"
    "  report IMAGE|--disc LETTER --out DIR [--case REF] [--exhibit ID] [--operator NAME]\n"
    "                                        writes an image's exhibit report again into\n"
    "                                        DIR (a disc cannot take it)\n"
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
    "         [--redact MASKS.json]          a redacted copy: the masks' regions hidden,\n"
    "                                        REDACTION.json and SHA256SUMS beside\n"
    "  pull NAME                             one unattended run for the recorder NAME of\n"
    "                                        $QUILLON_PULL_DIR or /etc/quillon/pull.d:\n"
    "                                        schedules its range, backs it up into a new\n"
    "                                        image folder and verifies it\n"
    "  key create                            makes this machine's signing key; every\n"
    "                                        manifest is signed with it from then on\n"
    "  custody show IMAGE|BASE|LOG           the chain of custody's lines, one event each\n"
    "  custody handover IMAGE --to WHO --org ORG --reason WHY\n"
    "                                        notes and signs the image's hand-over, in the\n"
    "                                        image and in the base folder's CUSTODY.jsonl\n"
    "  custody receive IMAGE --by WHO [--key KEY] [--stamp-key RSA --stamp-cert CERT]\n"
    "                                        the receiver's signed receipt in the image's\n"
    "                                        log; KEY: the receiver's private key (PEM);\n"
    "                                        its MP4 files take the receiver's stamp, by\n"
    "                                        RSA and CERT (PEM), else this machine's key\n"
    "  custody verify IMAGE|LOG              checks the chain and its signatures; says\n"
    "                                        which line broke and how\n"
    "  custody destroyed IMAGE --reason WHY  notes that this copy is being destroyed (it\n"
    "                                        deletes nothing: destroy it after)\n"
    "  encrypt IMAGE --out DIR (--to age1... | --to-file FILE | --passphrase-file FILE)\n"
    "         [--force]                      writes DIR/IMAGE.tar.age, the checked image as\n"
    "                                        a tar archive encrypted in the age format, for\n"
    "                                        each --to (repeatable) and each line of FILE, or\n"
    "                                        for the passphrase on FILE's first line; the\n"
    "                                        viewer into DIR/BackupViewer, DIR/README.txt on\n"
    "                                        how to open each image of DIR; and an\n"
    "                                        \"encrypted\" event in its custody log\n"
    "  encrypt IMAGE --disc LETTER (--to ... | --to-file ... | --passphrase-file ...)\n"
    "                                        the same medium made in a scratch folder, then\n"
    "                                        written to the disc and read back\n"
    "  encrypt --new-identity FILE           makes an age identity file (mode 0600) and\n"
    "                                        prints its age1... recipient\n"
    "  decrypt FILE.tar.age|--disc LETTER [NAME.tar.age] --out DIR\n"
    "         (--identity KEYFILE | --passphrase-file FILE)\n"
    "                                        extracts the image into DIR once the whole file\n"
    "                                        authenticated, then checks it; --disc: the file\n"
    "                                        at the disc's root (NAME when it holds several)\n"
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

}  // namespace

int main(int argc, char** argv) {
    // A file-size limit must end a write as a full target does, not kill the process.
    platform::IgnoreFileSizeLimit();
    // A closed pipe on stdout or stderr must not end a backup halfway.
    platform::IgnoreBrokenPipes();
    CliOptions options;
    CliArgs args;
    std::string command, dateType, cameras, model, remote, timeZone;
    bool noProgress = false;
    // The options with a value; those that name the session are repeated in the add commands
    // printed (--token never is).
    const std::map<std::string, std::string*> kSession = {
        {"--base", &options.base},    {"--date-type", &dateType},
        {"--cameras", &cameras},      {"--time-zone", &timeZone},
        {"--remote", &remote},        {"--token-file", &options.remote.tokenFile},
        {"--ca", &options.remote.ca}, {"--pin", &options.remote.pin}};
    const std::map<std::string, std::string*> kValues = {
        {"--model", &model},
        {"--token", &options.remote.token},
        {"--cams", &args.cams},
        {"--memo", &args.memo},
        {"--folder", &args.folder},
        {"--disc", &args.disc},
        {"--key", &args.key},
        {"--cert", &args.cert},
        {"--out", &args.out},
        {"--redact", &args.redact},
        {"--entry", &args.entry},
        {"--case", &args.caseDetails.caseReference},
        {"--exhibit", &args.caseDetails.exhibitNumber},
        {"--operator", &args.caseDetails.operatorName},
        {"--to", &args.to},
        {"--org", &args.org},
        {"--reason", &args.reason},
        {"--by", &args.by},
        {"--stamp-key", &args.stampKey},
        {"--stamp-cert", &args.stampCert},
        {"--to-file", &args.toFile},
        {"--passphrase-file", &args.passphraseFile},
        {"--identity", &args.identity},
        {"--new-identity", &args.newIdentity}};
    const std::map<std::string, bool*> kFlags = {
        {"--no-progress", &noProgress}, {"--wait", &options.wait}, {"--viewer", &args.viewer},
        {"--deep", &args.deep},         {"--mp4", &args.mp4},      {"--force", &args.force},
        {"--clear", &args.clear}};
    try {
        for (int i = 1; i < argc; ++i) {
            const std::string a = argv[i];
            if (a == "--help" || a == "-h") {
                std::fputs(kUsage, stdout);
                return 0;
            }
            if (a == "--version") {
                std::printf("quillon-cli %s\n", QUILLON_VERSION);
                return 0;
            }
            const auto session = kSession.find(a), value = kValues.find(a);
            const auto flag = kFlags.find(a);
            if (flag != kFlags.end()) {
                *flag->second = true;
                continue;
            }
            if (session == kSession.end() && value == kValues.end()) {
                if (a.size() > 1 && a[0] == '-' && a[1] == '-')
                    throw UsageError{"unknown option " + a};
                (command.empty() ? command : args.positional.emplace_back()) = a;
                continue;
            }
            if (i + 1 >= argc)
                throw UsageError{a + " needs a value"};
            *(session != kSession.end() ? session : value)->second = argv[++i];
            if (session != kSession.end())
                args.sessionOptions.insert(args.sessionOptions.end(), {a, argv[i]});
            args.hasMemo = args.hasMemo || a == "--memo";
            if (a == "--to")
                args.recipients.push_back(argv[i]);
            args.timeZone = args.timeZone || a == "--time-zone";
            if (a == "--token") {
                // Out of /proc/PID/cmdline from now on, as quillon-share does; ps showed it
                // until here all the same.
                std::memset(argv[i], '*', std::strlen(argv[i]));
                std::fputs(
                    "quillon-cli: --token shows the token to every user of this machine (ps); "
                    "give it with --token-file or QUILLON_SHARE_TOKEN instead\n",
                    stderr);
            }
        }
        options.progress = !noProgress;
        if (!dateType.empty())
            options.dateType = Number("--date-type", dateType, 10, 0, 8);
        if (!cameras.empty())
            options.cameras = Number("--cameras", cameras, 10, 1, 64);
        if (!model.empty())
            options.modelCode = Number("--model", model, 16, 0, 0x7fffffff);
#ifdef QUILLON_HAVE_SHARE
        if (!remote.empty() && !share::ParseLinkAddress(remote, options.remote))
            throw UsageError{"--remote takes ADDRESS:PORT, the port of quillon-share"};
#else
        if (!remote.empty())
            throw UsageError{"this quillon-cli was built without the remote link"};
#endif
        if (command.empty())
            throw UsageError{"no command given"};
        // A copy asked to be redacted must not come out whole because its command makes none.
        if (!args.redact.empty() && command != "export")
            throw UsageError{"--redact goes with export --mp4 alone: " + command +
                             " makes no redacted copy"};
        // Before anything reckons a recorded time: the recorder's clock reads the local time of
        // its own zone, which need not be this machine's.
        if (const platform::Outcome used =
                timeZone.empty() ? platform::Succeeded() : platform::UseTimeZone(timeZone);
            !used)
            throw UsageError{"--time-zone: " + used.error().Said()};
#ifndef QUILLON_HAVE_VIDEO
        if (command == "export" || (command == "backup" && args.mp4))
            return HandToVideoHelper(std::vector<std::string>(argv, argv + argc));
#endif
#ifndef QUILLON_HAVE_REPORT
        // The image's REPORT.pdf too, when the helper is installed; without it the image has
        // report.json alone.
        if ((command == "backup" || command == "report") && !VideoHelperPath().empty())
            return HandToVideoHelper(std::vector<std::string>(argv, argv + argc));
#endif
        // Sections of drives.ini the table cannot use, said before any command uses the table.
        for (const auto& problem : platform::CurrentDrives()->problems())
            std::fprintf(stderr, "quillon-cli: %s\n", problem.text.c_str());
        if (command == "info")
            return Info(options);
        // These look at images and keys, not at a recorder or the working folder.
        if (command == "verify") {
            const int verified = CmdVerify(args, options.progress);
            return verified == 0 ? NoteImageEvent(args, options, integrity::CustodyEvent::kVerified)
                                 : verified;
        }
        if (command == "report")
            return CmdReport(args);
        if (command == "encrypt")
            return CmdEncrypt(args, options);
        if (command == "decrypt")
            return CmdDecrypt(args, options.progress);
        if (command == "custody")
            return CmdCustody(args, options);
        if (command == "key")
            return CmdKey(args);
#ifdef QUILLON_HAVE_VIDEO
        if (command == "export") {
            // Files made from the image are noted even when not all came out whole, or a
            // forced export took an image that failed its check: those most of all.
            int written = 0;
            const int exported = CmdExport(args, options.progress, written);
            if (written == 0)
                return exported;
            const int noted = NoteImageEvent(
                args, options, integrity::CustodyEvent::kExported,
                std::string(args.redact.empty() ? "" : "redacted copy: ") + "MP4 files into " +
                    args.out +
                    (exported == 0 ? "" : ", not each of them whole or from a checked image"));
            return exported != 0 ? exported : noted;
        }
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
            {"days", {CmdDays, false}},    {"day", {CmdDay, false}},
            {"add", {CmdAdd, true}},       {"list", {CmdList, true}},
            {"delete", {CmdDelete, true}}, {"memo", {CmdMemo, true}},
            {"case", {CmdCase, true}},     {"backup", {CmdBackup, true}},
            {"erase", {CmdErase, false}}};
        const auto found = kCommands.find(command);
        if (found == kCommands.end())
            throw UsageError{"unknown command " + command};
        if ((!options.remote.token.empty() || !options.remote.tokenFile.empty()) &&
            options.remote.address.empty())
            throw UsageError{"--token and --token-file go with --remote"};
        if (!options.remote.token.empty() && !options.remote.tokenFile.empty())
            throw UsageError{"give the token once: --token-file FILE (or --token, which ps shows)"};
#ifdef QUILLON_HAVE_SHARE
        if (const platform::Outcome tls = share::CheckLinkTls(options.remote); !tls)
            throw UsageError{tls.error().Said()};
        if (const platform::Outcome token = options.remote.address.empty()
                                                ? platform::Succeeded()
                                                : share::TakeLinkToken(options.remote);
            !token)
            return Fail(token.error().Said());
#endif
        CliSession session(options);
        if (const std::string problem = session.OwnFilesProblem(); !problem.empty())
            return Fail(problem);
        if (found->second.workingFolder && !session.OpenWorkingFolder(options.wait))
            return 1;
        return found->second.run(session, args);
    } catch (const UsageError& e) {
        std::fprintf(stderr, "quillon-cli: %s\n%s", e.what.c_str(), kUsage);
        return 2;
    }
}
