// quillon-cli: the main job without a window.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "CliCommands.h"
#include "app/CHKLM.h"
#include "platform/DrivePaths.h"
#include "platform/DriveTable.h"

namespace {

const char kUsage[] =
    "usage: quillon-cli [options] COMMAND ...\n"
    "  days                                  recorded days, newest first\n"
    "  day YYYYMMDD                          hours, minutes and cameras with recordings\n"
    "  add YYYYMMDD HHMM HHMM --cams LIST [--memo TEXT]\n"
    "                                        adds an entry; LIST: 1,2,5 (1-64) or all\n"
    "  list                                  the schedule\n"
    "  delete LABEL                          removes an entry (LABEL as list shows it)\n"
    "  memo LABEL TEXT                       stores an entry's memo\n"
    "  backup --folder DRIVE-PATH [--viewer] backs the schedule up into a folder\n"
    "  info                                  version, prefix, program folder, recordings\n"
    "options: --base DIR (base folder, default the program folder), --date-type 0-8,\n"
    "         --cameras 1-64 (default 16), --model HEX (default 670), --no-progress\n"
    "Drive paths such as C:\\Backup resolve through $QUILLON_PREFIX/drives.ini.\n";

int Number(const std::string& option, const std::string& text, int base, int low, int high) {
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, base);
    if (text.empty() || *end || v < low || v > high)
        throw UsageError{option + " takes a number from " + std::to_string(low) + " to " +
                         std::to_string(high) + ": " + text};
    return static_cast<int>(v);
}

int Info() {
    std::printf("quillon-cli %s\nprefix %s\nprogram folder %s\nrecordings %s\n", QUILLON_VERSION,
                platform::MachinePrefix().c_str(), platform::GetModulePath().c_str(),
                GetStoragePath().c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    CliOptions options;
    CliArgs args;
    std::string command;
    try {
        for (int i = 1; i < argc; ++i) {
            const std::string a = argv[i];
            auto value = [&]() -> std::string {
                if (i + 1 >= argc)
                    throw UsageError{a + " needs a value"};
                return argv[++i];
            };
            if (a == "--help" || a == "-h") {
                std::fputs(kUsage, stdout);
                return 0;
            } else if (a == "--base") {
                options.base = value();
            } else if (a == "--date-type") {
                options.dateType = Number(a, value(), 10, 0, 8);
            } else if (a == "--cameras") {
                options.cameras = Number(a, value(), 10, 1, 64);
            } else if (a == "--model") {
                options.modelCode = Number(a, value(), 16, 0, 0x7fffffff);
            } else if (a == "--no-progress") {
                options.progress = false;
            } else if (a == "--cams") {
                args.cams = value();
            } else if (a == "--memo") {
                args.memo = value();
                args.hasMemo = true;
            } else if (a == "--folder") {
                args.folder = value();
            } else if (a == "--viewer") {
                args.viewer = true;
            } else if (a.size() > 1 && a[0] == '-' && a[1] == '-') {
                throw UsageError{"unknown option " + a};
            } else if (command.empty()) {
                command = a;
            } else {
                args.positional.push_back(a);
            }
        }
        if (command.empty() || command == "info")
            return Info();
        static const std::map<std::string, int (*)(CliSession&, const CliArgs&)> kCommands = {
            {"days", CmdDays},     {"day", CmdDay},   {"add", CmdAdd},      {"list", CmdList},
            {"delete", CmdDelete}, {"memo", CmdMemo}, {"backup", CmdBackup}};
        const auto found = kCommands.find(command);
        if (found == kCommands.end())
            throw UsageError{"unknown command " + command};
        CliSession session(options);
        return found->second(session, args);
    } catch (const UsageError& e) {
        std::fprintf(stderr, "quillon-cli: %s\n%s", e.what.c_str(), kUsage);
        return 2;
    }
}
