// The demo schedule (two entries: all cameras of 13 minutes, two cameras of 6) backed up from a
// remote recorder, quillon-cli --remote against quillon-share on loopback, against the local
// backup of the same schedule from the same recordings by quillon-cli, in the same run. Both
// are timed from the backup command's start to its end. The same remote backup over TLS (a
// second quillon-share with a certificate openssl makes, the client pinning it) is set against
// the plain one. Goals: at least 0.9x each. Server and client share this machine's cores, which
// a remote backup has to itself elsewhere: the CPU seconds of each side are printed with it.
// Set QUILLON_BENCH_DIR=/dev/shm to leave the disk out of it.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

#include "BenchEnv.h"
#include "mkrec/Recorder.h"

extern char** environ;

namespace {

std::string gBin;

int Run(const std::string& command) {
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}

std::string Cli(const std::string& base, const std::string& remote, const std::string& args) {
    return gBin + "/quillon-cli --base " + base + " --cameras 8 --no-progress " +
           (remote.empty() ? "" : "--remote " + remote + " ") + args + " >/dev/null";
}

// The image's files by size, but for the report and custody log each run makes its own.
std::map<std::string, long long> Sizes(const std::string& root) {
    std::map<std::string, long long> sizes;
    for (const auto& e : std::filesystem::recursive_directory_iterator(root))
        if (const std::string name = e.path().filename().string();
            e.is_regular_file() && name != "report.json" && name != "REPORT.pdf" &&
            name != "CUSTODY.jsonl")
            sizes[std::filesystem::relative(e.path(), root).string()] =
                static_cast<long long>(e.file_size());
    return sizes;
}

// CPU seconds of the children waited for so far (the backups, through their shell).
double ChildCpuSeconds() {
    rusage r{};
    ::getrusage(RUSAGE_CHILDREN, &r);
    return r.ru_utime.tv_sec + r.ru_stime.tv_sec + (r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e6;
}

// CPU seconds of a running process so far; 0 for none.
double CpuSeconds(pid_t pid) {
    if (pid <= 0)
        return 0;
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::size_t close = text.rfind(')');
    if (close == std::string::npos)
        return 0;
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    double ticks = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i)
        if (i == 14 || i == 15)
            ticks += std::stod(field);
    return ticks / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

}  // namespace

int main(int, char** argv) {
    gBin = std::filesystem::canonical("/proc/self/exe").parent_path().string();
    (void)argv;
    const std::string prefix = bench::MakePrefix("quillon-bench-remote");
    const std::string base = prefix + "/base", usb = prefix + "/usb";
    std::filesystem::create_directories(base);
    std::filesystem::create_directories(usb);
    for (const char* item : {"GUIS", "Other", "Language.eng"})
        std::filesystem::copy(gBin + "/" + item, base + "/" + item,
                              std::filesystem::copy_options::recursive);
    platform::DriveTable table = platform::DriveTable::Load(prefix);
    table.Set({'E', usb, platform::DRIVE_REMOVABLE, ""});
    table.Save(prefix);

    mkrec::RecorderPlan plan;
    plan.root = "C:\\QorData";
    plan.days = {"20260105", "20260106"};
    plan.firstMinute = 9 * 60 + 55;
    plan.lastMinute = 10 * 60 + 15;
    plan.cameras = 8;
    plan.fps = bench::EnvNumber("QUILLON_BENCH_FPS", 10);
    plan.width = 320;
    plan.height = 240;
    plan.audioChannels = 4;
    const mkrec::RecorderStats made = mkrec::MakeRecordings(plan);
    std::printf("recordings: 2 days of 8 cameras at %d pictures a second, %.1f MB\n", plan.fps,
                (made.pictureBytes + made.audioBytes) / 1e6);

    const int port = 17000 + static_cast<int>(getpid() % 20000);
    const std::string listen = "127.0.0.1:" + std::to_string(port);
    const std::string share = gBin + "/quillon-share";
    // --quiet: a line per answered request would be most of what the benchmark prints.
    const char* shareArgs[] = {share.c_str(), "--root", "C:\\QorData", "--listen", listen.c_str(),
                               "--cameras",   "8",      "--quiet",     nullptr};
    pid_t server = -1;
    if (posix_spawn(&server, share.c_str(), nullptr, nullptr, const_cast<char**>(shareArgs),
                    environ) != 0) {
        std::fprintf(stderr, "quillon-share could not be started\n");
        return 1;
    }
    for (int i = 0; i < 200 && Run(Cli(base, listen, "days")) != 0; ++i)
        usleep(25000);

    // The same recorder over TLS, on ports of its own; the client pins what the server prints.
    const std::string cert = prefix + "/cert.pem", key = prefix + "/key.pem";
    if (Run("openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 "
            "-subj /CN=localhost -keyout " +
            key + " -out " + cert + " 2>/dev/null") != 0) {
        std::fprintf(stderr, "openssl could not make a certificate\n");
        return 1;
    }
    const std::string tlsListen = "127.0.0.1:" + std::to_string(port + 10);
    const std::string tlsOut = prefix + "/share-tls.out";
    const char* tlsArgs[] = {
        share.c_str(), "--root",  "C:\\QorData", "--listen",   tlsListen.c_str(),
        "--cameras",   "8",       "--tls-cert",  cert.c_str(), "--tls-key",
        key.c_str(),   "--quiet", nullptr};
    posix_spawn_file_actions_t toFile;
    posix_spawn_file_actions_init(&toFile);
    posix_spawn_file_actions_addopen(&toFile, 1, tlsOut.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    pid_t tlsServer = -1;
    const bool spawned = posix_spawn(&tlsServer, share.c_str(), &toFile, nullptr,
                                     const_cast<char**>(tlsArgs), environ) == 0;
    posix_spawn_file_actions_destroy(&toFile);
    std::string pin;
    for (int i = 0; spawned && i < 200 && pin.empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
        std::ifstream in(tlsOut);
        for (std::string line; std::getline(in, line);)
            if (const auto at = line.find("pin sha256:"); at != std::string::npos)
                pin = line.substr(at + 4);
    }
    if (pin.empty()) {
        std::fprintf(stderr, "quillon-share with TLS did not start\n");
        ::kill(server, SIGTERM);
        return 1;
    }
    const std::string tlsRemote = "https://" + tlsListen + " --pin " + pin;

    auto schedule = [&](const std::string& remote) {
        return Run(Cli(base, remote, "add 20260106 1000 1012 --cams all")) == 0 &&
               Run(Cli(base, remote, "add 20260105 0958 1003 --cams 2,5 --memo gate")) == 0;
    };
    const int runs = bench::EnvNumber("QUILLON_BENCH_RUNS", 3);
    // One kind of backup: its best time, with the CPU seconds of the client and the server
    // in that run.
    struct Best {
        double seconds = 1e300, client = 0, server = 0;
    };
    Best local, remote, secure;
    bool ok = true;
    auto timed = [&](Best& best, const std::string& remoteArg, pid_t serving,
                     const std::string& folder, int i) {
        ok = ok && schedule(remoteArg);
        const double clientBefore = ChildCpuSeconds(), serverBefore = CpuSeconds(serving);
        const double seconds = bench::Seconds([&] {
            ok = ok && Run(Cli(base, remoteArg, "backup --folder 'E:\\" + folder + "'")) == 0;
        });
        if (seconds < best.seconds)
            best = {seconds, ChildCpuSeconds() - clientBefore, CpuSeconds(serving) - serverBefore};
        // The first run's image is compared below; the later ones go, so that every run writes
        // into memory the machine has used before (new memory of a virtual machine is slow).
        if (i > 0)
            std::filesystem::remove_all(usb + "/" + folder);
    };
    for (int i = 0; i < runs && ok; ++i) {
        const std::string n = std::to_string(i);
        timed(local, "", -1, "Local" + n, i);
        timed(remote, listen, server, "Remote" + n, i);
        timed(secure, tlsRemote, tlsServer, "Tls" + n, i);
    }
    for (const pid_t p : {server, tlsServer}) {
        ::kill(p, SIGTERM);
        ::waitpid(p, nullptr, 0);
    }
    if (!ok) {
        std::fprintf(stderr, "a backup failed\n");
        return 1;
    }
    const auto sizes = Sizes(usb + "/Local0");
    if (sizes != Sizes(usb + "/Remote0") || sizes != Sizes(usb + "/Tls0")) {
        std::fprintf(stderr, "a remote backup differs from the local one\n");
        return 1;
    }
    long long bytes = 0;
    for (const auto& [name, size] : sizes)
        bytes += size;
    auto print = [&](const char* what, const Best& b) {
        std::printf("%s %.2f s, %.1f MB/s; CPU: client %.2f s, server %.2f s\n", what, b.seconds,
                    bytes / 1e6 / b.seconds, b.client, b.server);
    };
    std::printf("%zu files, %.1f MB\n", sizes.size(), bytes / 1e6);
    print("local backup:   ", local);
    print("remote backup:  ", remote);
    print("remote over TLS:", secure);
    std::printf("remote against local: %.2fx (goal: at least 0.90x)\n",
                local.seconds / remote.seconds);
    std::printf("remote over TLS against plain remote: %.2fx (goal: at least 0.90x)\n",
                remote.seconds / secure.seconds);
    std::filesystem::remove_all(prefix);
    return 0;
}
