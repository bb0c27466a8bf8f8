#pragma once
// The quillon-share program of the build, run as a process (CliRunner.h), and the port it
// serves on, read from the line it prints once it listens.
#include <sys/wait.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>

#include "CliRunner.h"

inline const std::string kShareProgram = std::string(QUILLON_BIN_DIR) + "/quillon-share";

// The port from the line the server prints once it listens on host; 0 when it ended without
// one.
inline int ServedPort(const RunningProgram& p, const std::string& host = "127.0.0.1") {
    const std::string tag = " on " + host + ":";
    for (int i = 0; i < 3000; ++i) {
        std::string line;
        std::ifstream in(p.outPath);
        std::getline(in, line);
        const std::size_t at = line.find(tag);
        if (at != std::string::npos && !line.empty())
            return std::stoi(line.substr(at + tag.size()));
        if (::waitpid(p.pid, nullptr, WNOHANG) == p.pid)
            return 0;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return 0;
}
