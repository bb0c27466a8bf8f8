#pragma once
// Shared by the benchmarks: a temporary machine prefix with C: below it, an entry's recordings,
// a wall clock and processor time, the peak memory of work run in a child process, and a raw
// file copy to measure against.
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "mkrec/Recorder.h"
#include "platform/DriveTable.h"

namespace bench {

inline std::string MakePrefix(const char* name) {
    std::string base = getenv("QUILLON_BENCH_DIR") ? getenv("QUILLON_BENCH_DIR") : "/tmp";
    std::string tmpl = base + "/" + name + "-XXXXXX";
    if (!mkdtemp(tmpl.data())) {
        std::perror("mkdtemp");
        std::exit(1);
    }
    setenv("QUILLON_PREFIX", tmpl.c_str(), 1);
    setenv("QUILLON_RUNTIME_DIR", (tmpl + "/run").c_str(), 1);
    std::filesystem::create_directories(tmpl + "/drive_c");
    platform::DriveTable table;
    table.Set({'C', tmpl + "/drive_c", platform::DRIVE_FIXED, ""});
    table.Set({'Z', "/", platform::DRIVE_FIXED, ""});
    table.Save(tmpl);
    return tmpl;
}

// A whole number from the environment (QUILLON_BENCH_MINUTES and the like), or def; a value
// that is not a positive number is not used.
inline int EnvNumber(const char* name, int def) {
    const char* v = std::getenv(name);
    const int n = v ? std::atoi(v) : 0;
    return n > 0 ? n : def;
}

// The recordings of an entry folder (a drive path) of one day, from 10:00 on: what it makes is
// said first, since a long range takes a while.
inline mkrec::RecorderPlan MakeEntryRecordings(const std::string& entry, const std::string& day,
                                               int minutes, int cameras, int fps, int width,
                                               int height) {
    mkrec::RecorderPlan plan;
    plan.root = entry;
    plan.days = {day};
    plan.firstMinute = 600;
    plan.lastMinute = 600 + minutes - 1;
    plan.cameras = cameras;
    plan.fps = fps;
    plan.width = width;
    plan.height = height;
    std::printf("making %d minutes of %d cameras at %d pictures a second, %dx%d...\n", minutes,
                cameras, fps, width, height);
    mkrec::MakeRecordings(plan);
    return plan;
}

// Processor seconds used so far, by this process (RUSAGE_SELF) or its waited-for children.
inline double ProcessorSeconds(int who = RUSAGE_SELF) {
    rusage u{};
    getrusage(who, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

inline double Seconds(const std::function<void()>& work) {
    auto t0 = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// Best of n runs, so that one disturbed run does not decide the ratio.
inline double BestOf(int n, const std::function<void()>& work) {
    double best = 1e300;
    for (int i = 0; i < n; ++i)
        best = std::min(best, Seconds(work));
    return best;
}

// Peak resident memory in KiB of work run in a child process.
inline long PeakKiB(const std::function<void()>& work) {
    pid_t pid = fork();
    if (pid == 0) {
        work();
        _exit(0);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    return usage.ru_maxrss;
}

// A plain copy with a 1 MiB buffer: the baseline of the copy benchmarks.
inline long long RawCopy(const std::string& from, const std::string& to) {
    FILE* in = std::fopen(from.c_str(), "rb");
    FILE* out = std::fopen(to.c_str(), "wb");
    long long total = 0;
    if (in && out) {
        std::vector<char> buf(1 << 20);
        std::size_t n;
        while ((n = std::fread(buf.data(), 1, buf.size(), in)) > 0)
            total += static_cast<long long>(std::fwrite(buf.data(), 1, n, out));
    }
    if (in)
        std::fclose(in);
    if (out)
        std::fclose(out);
    return total;
}

inline void RemoveTree(const std::string& path) {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
}

}  // namespace bench
