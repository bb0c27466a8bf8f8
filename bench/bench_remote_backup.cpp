// The demo schedule (two entries: all cameras of 13 minutes, two cameras of 6) backed up from a
// remote recorder, quillon-cli --remote against quillon-share on loopback, against the local
// backup of the same schedule from the same recordings by quillon-cli, in the same run. Both
// are timed from the backup command's start to its end. Goal: at least 0.8x. The same remote
// backup over TLS (a second quillon-share with a certificate openssl makes, the client pinning
// it) is set against the plain one.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
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

std::map<std::string, long long> Sizes(const std::string& root) {
    std::map<std::string, long long> sizes;
    for (const auto& e : std::filesystem::recursive_directory_iterator(root))
        if (e.is_regular_file())
            sizes[std::filesystem::relative(e.path(), root).string()] =
                static_cast<long long>(e.file_size());
    return sizes;
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
    double local = 1e300, remote = 1e300, secure = 1e300;
    bool ok = true;
    for (int i = 0; i < runs && ok; ++i) {
        const std::string n = std::to_string(i);
        ok = schedule("");
        local =
            std::min(local, bench::Seconds([&] {
                         ok = ok && Run(Cli(base, "", "backup --folder 'E:\\Local" + n + "'")) == 0;
                     }));
        ok = ok && schedule(listen);
        remote = std::min(
            remote, bench::Seconds([&] {
                ok = ok && Run(Cli(base, listen, "backup --folder 'E:\\Remote" + n + "'")) == 0;
            }));
        ok = ok && schedule(tlsRemote);
        secure = std::min(
            secure, bench::Seconds([&] {
                ok = ok && Run(Cli(base, tlsRemote, "backup --folder 'E:\\Tls" + n + "'")) == 0;
            }));
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
    std::printf("local backup:  %.2f s, %.1f MB/s\n", local, bytes / 1e6 / local);
    std::printf("remote backup: %.2f s, %.1f MB/s (%zu files, %.1f MB)\n", remote,
                bytes / 1e6 / remote, sizes.size(), bytes / 1e6);
    std::printf("remote against local: %.2fx (goal: at least 0.80x)\n", local / remote);
    std::printf("remote over TLS: %.2f s, %.1f MB/s\n", secure, bytes / 1e6 / secure);
    std::printf("remote over TLS against plain remote: %.2fx\n", remote / secure);
    std::filesystem::remove_all(prefix);
    return 0;
}
