#pragma once
// quillon-cli as a second operator, a killed run or a damaged machine meets it: a base folder,
// recordings made by the generator, the program run as a process of its own, and checks that
// hold an image against the recorder's files.
#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gmock/gmock.h>

#include "CliRunner.h"
#include "TestEnv.h"
#include "mkrec/Recorder.h"

using testing::HasSubstr;
using testing::Not;

// True once pid has ended, without collecting its status (FinishProgram does that).
inline bool Ended(pid_t pid) {
    siginfo_t info{};
    return ::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
           info.si_pid == pid;
}

// Polls until cond holds; false when the program ended first. The bound only keeps a broken
// build from hanging the suite, it is no timing the test relies on.
inline bool WaitWhileRunning(pid_t pid, const std::function<bool()>& cond) {
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::minutes(2);
    while (std::chrono::steady_clock::now() < giveUp) {
        if (cond())
            return true;
        if (Ended(pid))
            return cond();
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return false;
}

inline bool IsTempName(const std::string& name) {
    return name.size() > 13 && name.compare(name.size() - 13, 13, ".quillon-part") == 0;
}

// Host paths of the files below folder whose names are temporary ones.
inline std::vector<std::string> TempFilesBelow(const std::string& folder) {
    std::vector<std::string> found;
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator(folder, ec);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
        if (IsTempName(it->path().filename().string()))
            found.push_back(it->path().string());
    return found;
}

// The names directly inside folder; empty when it cannot be listed.
inline std::set<std::string> Names(const std::string& folder) {
    std::set<std::string> names;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(folder, ec))
        names.insert(e.path().filename().string());
    return names;
}

class CliFixture : public TempPrefixTest {
  protected:
    void SetUp() override {
        TempPrefixTest::SetUp();
        base = prefix() + "/base";
        std::filesystem::create_directories(base);
    }
    // Recordings below C:\QorData; rec is the host folder of the plan's first day.
    void Record(mkrec::RecorderPlan plan) {
        plan.root = "C:\\QorData";
        mkrec::MakeRecordings(plan);
        rec = driveC() + "/QorData/" + plan.days.front() + "/";
    }
    // The language file, GUIS and Other of the build in the base folder, for the commands that
    // read texts or copy the viewer.
    void UseBuiltData() {
        for (const char* item : {"GUIS", "Other", "Language.eng"})
            std::filesystem::copy(std::string(QUILLON_BIN_DIR) + "/" + item, base + "/" + item,
                                  std::filesystem::copy_options::recursive);
    }
    // Minutes first to last of the day 23 May 2010 of cameras recording pictures of width by
    // height, without sound.
    static mkrec::RecorderPlan Plan(int first, int last, int cameras = 4, int width = 32,
                                    int height = 24) {
        return {.days = {"20100523"},
                .firstMinute = first,
                .lastMinute = last,
                .cameras = cameras,
                .width = width,
                .height = height};
    }
    // Small pictures of minutes 10:00 to lastMinute of 23 May 2010 with two audio channels: a
    // schedule over them is quick to back up and still has every kind of file.
    static mkrec::RecorderPlan SmallDayPlan(int lastMinute) {
        mkrec::RecorderPlan plan = Plan(600, lastMinute);
        plan.audioChannels = 2;
        plan.audioBytesPerMinute = 3000;
        return plan;
    }
    void RecordSmallDay(int lastMinute) { Record(SmallDayPlan(lastMinute)); }
    // Twelve minutes of four cameras at 25 pictures a second, about 15 MB a minute, with the
    // audio of two channels: a pass over it lasts long enough to act on while it runs.
    void RecordLargeDay() {
        Record({.days = {"20100523"},
                .firstMinute = 600,
                .lastMinute = 611,
                .fps = 25,
                .audioChannels = 2});
    }
    // Every command with --base and the options of the session.
    std::vector<std::string> WithBase(std::vector<std::string> args) const {
        args.insert(args.begin(), options.begin(), options.end());
        args.insert(args.begin(), {"--base", base});
        return args;
    }
    RunResult Cli(const std::vector<std::string>& args) {
        return RunProgram(CliPath(), WithBase(args), prefix());
    }
    RunningProgram StartCli(const std::vector<std::string>& args, const std::string& tag = "") {
        return StartProgram(CliPath(), WithBase(args), prefix(), 0, tag);
    }
    // An entry of 23 May 2010 from HHMM to HHMM of the cameras, with more options.
    RunResult Add(const std::string& from, const std::string& to, const std::string& cams = "all",
                  const std::vector<std::string>& more = {}) {
        std::vector<std::string> args{"add", "20100523", from, to, "--cams", cams};
        args.insert(args.end(), more.begin(), more.end());
        return Cli(args);
    }
    // The schedule backed up into the folder without progress, with more options.
    RunResult Backup(const std::string& folder = "E:\\Backup",
                     const std::vector<std::string>& more = {}) {
        std::vector<std::string> args{"backup", "--folder", folder, "--no-progress"};
        args.insert(args.end(), more.begin(), more.end());
        return Cli(args);
    }
    // Every minute and audio file under its final name in an image day folder equals the recorder's
    // file of that name, in size and content. Returns how many were compared.
    static int ExpectWholeCopiesOfRecorder(const std::string& imageDay, const std::string& recDay) {
        namespace fs = std::filesystem;
        int compared = 0;
        for (const std::string& sub : {std::string(), std::string("Audio/")}) {
            std::error_code ec;
            for (const auto& e : fs::directory_iterator(imageDay + sub, ec)) {
                const std::string name = e.path().filename().string();
                const bool minuteFile =
                    name.size() == 17 && (name.substr(12) == "N.dat" || name.substr(12) == "N.idx");
                if (!e.is_regular_file() || IsTempName(name) || (sub.empty() && !minuteFile))
                    continue;
                const std::string theirs = recDay + sub + name;
                EXPECT_EQ(fs::file_size(e.path()), fs::file_size(theirs, ec)) << name;
                EXPECT_TRUE(ReadText(e.path().string()) == ReadText(theirs)) << name;
                ++compared;
            }
        }
        return compared;
    }
    static std::string CliPath() { return std::string(QUILLON_BIN_DIR) + "/quillon-cli"; }

    std::string base, rec;
    std::vector<std::string> options;  // given to every command after --base
};
