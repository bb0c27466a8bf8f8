// quillon-host: the host surveillance client, for integrators and tests. It launches the tool
// with a launch parameter string, listens as "DVR MAIN" (or "NVR MAIN"), prints every message it
// receives, and sends the tool what a host sends: its record, drive masks, download progress
// and button clicks, one command argument after another.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "backup/HostMessages.h"
#include "platform/ChildProcess.h"
#include "platform/DrivePaths.h"
#include "platform/MessageBus.h"
#include "platform/Signals.h"
#include "records/HostInfo.h"

namespace {

const char kUsage[] =
    "usage: quillon-host [options] [COMMAND ...]\n"
    "options: --nvr (listen as \"NVR MAIN\", not \"DVR MAIN\"), --launch STRING (the launch\n"
    "         parameter string), --program PATH (default: quillon beside this program),\n"
    "         --base DIR (passed on), --no-launch (talk to a running tool), --timeout SECONDS\n"
    "         (how long to wait for the window and for each command; default 30)\n"
    "commands, run in order once the window \"Backup\" is there:\n"
    "  record:KEY=VALUE,...   the host record (WM_COPYDATA); keys: cameras, date-type, port,\n"
    "                         kind, model (hex), drives, record-drives, exclude-drives (hex),\n"
    "                         language, address, base, first-drive, today, name1..name64;\n"
    "                         unset keys: 16 cameras, kind 4, model 670, eng, first drive 3\n"
    "  drives:MASK            the drive list (0xBD0), MASK in hex\n"
    "  progress:NAME:TOTAL:DONE   download progress (0xBD2)\n"
    "  click:ID               WM_COMMAND: a click of control ID\n"
    "  query:ID               prints control ID's state (result and text)\n"
    "  target:FOLDER          the storage target as if picked in the folder browser\n"
    "  about                  WM_SYSCOMMAND 0x10: the about box\n"
    "  garbage                a frame too short to be a message\n"
    "  wait:MS                waits\n"
    "  wait-empty:ID          waits until control ID holds no rows (a schedule backed up)\n"
    "  wait-rows:ID           waits until control ID holds rows (the day's hours listed)\n"
    "  wait-closed            waits until the window has closed\n"
    "  end-tool               ends the tool it launched (a box may be waiting for its operator)\n"
    "Every message the host window receives is printed as: received 0xNNNN wParam=W lParam=L\n"
    "A tool it launched is left running after the commands: the host ends when the tool does.\n"
    "quillon-host --version prints the version, --help this text.\n";

std::mutex gPrint;

void Print(const char* fmt, const std::string& a = "", long long b = 0, long long c = 0) {
    std::lock_guard<std::mutex> lock(gPrint);
    std::printf(fmt, a.c_str(), b, c);
    std::fflush(stdout);
}

unsigned long Hex(const std::string& s) {
    return std::strtoul(s.c_str(), nullptr, 16);
}

std::string HostRecord(const std::string& fields) {
    // A record of a small local recorder unless told otherwise, so that one key can be tried
    // at a time.
    HostInfo h;
    h.camCount = 16;
    h.recorderKind = 4;
    h.modelCode = 0x670;
    h.language = "eng";
    h.firstDrive = 3;
    std::size_t start = 0;
    while (start < fields.size()) {
        const std::size_t comma = fields.find(',', start);
        const std::string item =
            fields.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        start = comma == std::string::npos ? fields.size() : comma + 1;
        const std::size_t eq = item.find('=');
        const std::string key = item.substr(0, eq),
                          value = eq == std::string::npos ? "" : item.substr(eq + 1);
        if (key == "cameras")
            h.camCount = std::atoi(value.c_str());
        else if (key == "date-type")
            h.dateType = std::atoi(value.c_str());
        else if (key == "port")
            h.port = std::atoi(value.c_str());
        else if (key == "kind")
            h.recorderKind = std::atoi(value.c_str());
        else if (key == "model")
            h.modelCode = static_cast<int>(Hex(value));
        else if (key == "drives")
            h.driveMask = static_cast<DWORD>(Hex(value));
        else if (key == "record-drives")
            h.recordDriveMask = static_cast<DWORD>(Hex(value));
        else if (key == "exclude-drives")
            h.excludeDriveMask = static_cast<DWORD>(Hex(value));
        else if (key == "language")
            h.language = value;
        else if (key == "address")
            h.serverAddress = value;
        else if (key == "base")
            h.basePath = value;
        else if (key == "first-drive")
            h.firstDrive = std::atoi(value.c_str());
        else if (key == "today")
            h.today = value;
        else if (key.rfind("name", 0) == 0 && key.size() > 4) {
            const int camera = std::atoi(key.c_str() + 4) - 1;
            if (camera < 0 || camera >= 64)
                throw std::invalid_argument("camera names are name1 to name64");
            std::strncpy(h.cameraName[camera], value.c_str(), sizeof h.cameraName[camera] - 1);
        } else
            throw std::invalid_argument("unknown record key " + key);
    }
    return EncodeHostInfo(h);
}

std::string ProgressRecord(const std::string& name, unsigned total, unsigned done) {
    std::string r(1040, '\0');
    std::memcpy(&r[4], name.data(), std::min<std::size_t>(name.size(), 1023));
    for (int i = 0; i < 4; ++i) {
        r[1028 + static_cast<std::size_t>(i)] = static_cast<char>((total >> (8 * i)) & 0xFF);
        r[1036 + static_cast<std::size_t>(i)] = static_cast<char>((done >> (8 * i)) & 0xFF);
    }
    return r;
}

bool WaitFor(const std::function<bool()>& cond, int seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < end) {
        if (cond())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

platform::ChildProcess gTool;

// Runs one command; false when it failed.
bool Run(const std::string& cmd, int timeout) {
    const std::size_t colon = cmd.find(':');
    const std::string verb = cmd.substr(0, colon),
                      arg = colon == std::string::npos ? "" : cmd.substr(colon + 1);
    platform::BusMessage m;
    if (verb == "record") {
        m.message = platform::WM_COPYDATA;
        m.data = HostRecord(arg);
    } else if (verb == "drives") {
        m.message = kMsgDriveList;
        m.wParam = Hex(arg);
    } else if (verb == "progress") {
        const std::size_t a = arg.rfind(':', arg.rfind(':') - 1), b = arg.rfind(':');
        m.message = kMsgDownloadProgress;
        m.data =
            ProgressRecord(arg.substr(0, a),
                           static_cast<unsigned>(std::atoi(arg.substr(a + 1, b - a - 1).c_str())),
                           static_cast<unsigned>(std::atoi(arg.substr(b + 1).c_str())));
    } else if (verb == "click") {
        m.message = platform::WM_COMMAND;
        m.wParam = static_cast<std::uint64_t>(std::atoi(arg.c_str()));
    } else if (verb == "query") {
        m.message = platform::kMsgQueryControl;
        m.wParam = static_cast<std::uint64_t>(std::atoi(arg.c_str()));
        const auto reply = platform::SendMessage("Backup", m);
        if (!reply)
            return false;
        std::string text = reply->data;
        for (char& ch : text)
            ch = ch == '\n' ? '|' : ch;
        Print("control %s result=%lld text=", arg, reply->result);
        Print("%s\n", text);
        return true;
    } else if (verb == "target") {
        m.message = kMsgChooseTarget;
        m.data = arg;
    } else if (verb == "about") {
        m.message = platform::WM_SYSCOMMAND;
        m.wParam = 0x10;
    } else if (verb == "garbage") {
        // Only the first bytes of a header: the window must answer 0 and change nothing.
        platform::BusMessage probe;
        probe.message = platform::WM_COMMAND;
        probe.wParam = 2;
        const std::string frame = platform::EncodeMessage(probe).substr(0, 10);
        return platform::SendRaw("Backup", frame);
    } else if (verb == "wait") {
        std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(arg.c_str())));
        return true;
    } else if (verb == "wait-empty" || verb == "wait-rows") {
        platform::BusMessage q;
        q.message = platform::kMsgQueryControl;
        q.wParam = static_cast<std::uint64_t>(std::atoi(arg.c_str()));
        const bool empty = verb == "wait-empty";
        return WaitFor(
            [&] {
                const auto reply = platform::SendMessage("Backup", q);
                return reply && reply->data.empty() == empty;
            },
            std::max(timeout, 120));
    } else if (verb == "wait-closed") {
        return WaitFor([] { return !platform::FindWindow("Backup"); }, timeout);
    } else if (verb == "end-tool") {
        gTool.AskToEnd();
        return gTool.Started();
    } else {
        std::fprintf(stderr, "quillon-host: unknown command %s\n", cmd.c_str());
        return false;
    }
    return platform::SendMessage("Backup", m).has_value();
}

}  // namespace

int main(int argc, char** argv) {
    platform::IgnoreBrokenPipes();
    std::string title = "DVR MAIN", launch, program, base;
    bool launchTool = true, haveLaunch = false;
    int timeout = 30;
    std::vector<std::string> commands;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "quillon-host: %s needs a value\n%s", a.c_str(), kUsage);
                std::exit(2);
            }
            return argv[++i];
        };
        if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (a == "--version") {
            std::printf("quillon-host %s\n", QUILLON_VERSION);
            return 0;
        } else if (a == "--nvr") {
            title = "NVR MAIN";
        } else if (a == "--launch") {
            launch = value();
            haveLaunch = true;
        } else if (a == "--program") {
            program = value();
        } else if (a == "--base") {
            base = value();
        } else if (a == "--no-launch") {
            launchTool = false;
        } else if (a == "--timeout") {
            timeout = std::atoi(value().c_str());
        } else {
            commands.push_back(a);
        }
    }
    // The host's window: every message is printed and answered 0.
    auto listened = platform::BusWindow::Listen(title, [](const platform::BusMessage& m) {
        char line[128];
        std::snprintf(line, sizeof line, "received 0x%X wParam=%llu lParam=%lld\n", m.message,
                      static_cast<unsigned long long>(m.wParam), static_cast<long long>(m.lParam));
        Print("%s", line);
        return platform::BusReply{};
    });
    if (!listened) {
        std::fprintf(stderr, "quillon-host: %s\n", listened.error().Said().c_str());
        return 1;
    }
    auto window = std::move(*listened);
    platform::ChildProcess& tool = gTool;
    if (launchTool) {
        if (program.empty()) {
            const std::string self = platform::ModuleFileHostPath();
            program = self.substr(0, self.find_last_of('/') + 1) + "quillon";
        }
        std::vector<std::string> args = {program};
        if (haveLaunch)
            args.push_back(launch);
        if (!base.empty())
            args.insert(args.end(), {"--base", base});
        tool.Start(program, args, "quillon-host: the tool could not be started");
    }
    if (!WaitFor([] { return platform::FindWindow("Backup"); }, timeout)) {
        std::fprintf(stderr, "quillon-host: no window titled \"Backup\" appeared\n");
        tool.AskToEnd();
        return 1;
    }
    int status = 0;
    for (const auto& cmd : commands) {
        if (!Run(cmd, timeout)) {
            std::fprintf(stderr, "quillon-host: %s failed\n", cmd.c_str());
            status = 1;
            break;
        }
    }
    if (tool.Started()) {
        // The tool keeps running until its operator closes it, as under a real host; the host
        // reports what it says on the way. A failed command ends the tool with the host.
        if (status != 0)
            tool.AskToEnd();
        tool.Wait();
    }
    return status;
}
