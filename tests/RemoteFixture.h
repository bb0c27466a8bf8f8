#pragma once
// quillon-cli against a quillon-share of the build on loopback, both real processes: a free port
// pair, the server started and stopped, and the CLI's commands sent to it.
#include <sys/socket.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "CliFixture.h"
#include "LoopbackProxy.h"
#include "PseudoDrives.h"

inline bool PortFree(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = LoopbackAddress(port);
    const bool free = ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(fd);
    return free;
}

// A port whose picture port (two below) is free too.
inline int FreePortPair() {
    std::mt19937 random(std::random_device{}());
    for (;;) {
        const int port = 20000 + static_cast<int>(random() % 40000);
        if (PortFree(port) && PortFree(port - 2))
            return port;
    }
}

// The processes waiting for the flock on path, as the kernel lists them.
inline int LockWaiters(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return 0;
    std::ifstream locks("/proc/locks");
    const std::string inode = ":" + std::to_string(st.st_ino) + " ";
    int waiting = 0;
    for (std::string line; std::getline(locks, line);)
        waiting += line.find(" -> ") != std::string::npos && line.find(inode) != std::string::npos;
    return waiting;
}

class RemoteCliFixture : public CliFixture {
  protected:
    void SetUp() override {
        CliFixture::SetUp();
        usb = MapDrive('E', "removable");
        port = FreePortPair();
    }
    void TearDown() override {
        StopServer();
        CliFixture::TearDown();
    }
    // tls: --tls-cert and --tls-key, or none for plain HTTP.
    void StartServer(const std::string& token = "", const std::vector<std::string>& tls = {}) {
        std::vector<std::string> args{"--root", "C:\\QorData", "--listen",
                                      "127.0.0.1:" + std::to_string(port)};
        if (!token.empty())
            args.insert(args.end(), {"--token", token});
        args.insert(args.end(), tls.begin(), tls.end());
        std::string program = std::string(QUILLON_BIN_DIR) + "/quillon-share";
        if (!serverUnder.empty()) {  // a wrapper of the server's (faketime and its options)
            args.insert(args.begin(), program);
            args.insert(args.begin(), serverUnder.begin() + 1, serverUnder.end());
            program = serverUnder.front();
        }
        server = StartProgram(program, args, prefix(), 0, "share");
        // Up once it answers (a day list of an unreachable server is an error), however slow
        // its start under a sanitizer; one that ended instead fails the test's first request.
        WaitWhileRunning(server.pid, [&] { return Remote({"days"}, token).status == 0; });
    }
    std::vector<std::string> serverUnder;  // the command the server is started under, if any
    void StopServer() {
        if (server.pid <= 0)
            return;
        ::kill(server.pid, SIGTERM);
        serverEnd = FinishProgram(server);
        server.pid = -1;
    }
    RunResult Remote(std::vector<std::string> args, const std::string& token = "") {
        if (!token.empty())
            args.insert(args.begin(), {"--token", token});
        args.insert(args.begin(), trust.begin(), trust.end());
        args.insert(args.begin(), {"--remote", scheme + "127.0.0.1:" + std::to_string(port)});
        return Cli(args);
    }
    // Entry folders below the server's temporary root (its own working folder aside).
    std::vector<std::string> ServerTemp() {
        std::vector<std::string> left;
        std::error_code ec;
        for (const auto& e : std::filesystem::directory_iterator(driveC() + "/NetBackupTemp", ec))
            if (e.path().filename() != "Reserved" || !std::filesystem::is_empty(e.path()))
                left.push_back(e.path().filename().string());
        return left;
    }

    std::string usb;
    int port = 0;
    RunningProgram server;
    RunResult serverEnd;
    std::string scheme;              // "https://" for TLS
    std::vector<std::string> trust;  // --pin or --ca, with TLS
};
