// What a pull instance keeps between its runs: its image folders (claimed, set aside when a run
// failed or was killed, only the last failed one kept) and its list of ranges still to fetch; and
// the rules of one run, against a recorder and a pass of the test's own: how many ranges a run
// schedules, what it says at which level, and what it keeps for the next run. (What goes over a
// real link is tools/CliPullTest's.)
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <thread>

#include "ScopedEnv.h"
#include "TestEnv.h"
#include "pull/PendingRanges.h"
#include "pull/PullJob.h"
#include "pull/RunFolders.h"
#include "records/ScheduleEntry.h"
#include "share/Has.h"

using namespace pull;
namespace fs = std::filesystem;

class PullStateTest : public TempPrefixTest {
  protected:
    void SetUp() override {
        TempPrefixTest::SetUp();
        base = prefix() + "/pull/gate";
        target = prefix() + "/images";
        fs::create_directories(base);
        fs::create_directories(target);
    }
    std::vector<std::string> Names(const std::string& folder) const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(folder))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    std::string base, target;
};

// A state file naming anything but a run's folder right below the target renames nothing and is
// dropped; one naming a run's folder sets it aside, and a later failed run's replaces it.
TEST_F(PullStateTest, OnlyARunsOwnFolderIsEverSetAsideAndOnlyTheLastIsKept) {
    const std::string precious = prefix() + "/precious";
    fs::create_directories(precious + "/2026-12-08_030512");
    fs::create_symlink(precious + "/2026-12-08_030512", target + "/2026-12-08_030513");
    fs::create_directories(target + "/2026-12-08_030514x");
    fs::create_directories(target + "/2026-12-08_030515-");
    RunFolders runs(base, target);
    for (const std::string& named :
         {precious, precious + "/2026-12-08_030512", target, target + "/",
          target + "/2026-12-08_030513", target + "/2026-12-08_030514x",
          target + "/2026-12-08_030515-", base}) {
        WriteText(base + "/image-in-progress", named);
        std::string warning;
        EXPECT_TRUE(runs.SetAsideKilledRun(warning)) << named;
        EXPECT_EQ(warning, base + "/image-in-progress names " + named +
                               ", which is no image folder of a run in " + target +
                               "; it is left as it is");
        EXPECT_FALSE(fs::exists(base + "/image-in-progress")) << named;
    }
    EXPECT_EQ(Names(target), (std::vector<std::string>{"2026-12-08_030513", "2026-12-08_030514x",
                                                       "2026-12-08_030515-"}));
    EXPECT_TRUE(fs::is_directory(precious + "/2026-12-08_030512"));

    // A killed run's folder, then two failed runs' in turn: one set-aside folder is left.
    fs::create_directories(target + "/2026-12-08_030600/entry");
    WriteText(base + "/image-in-progress", target + "/2026-12-08_030600");
    std::string warning;
    ASSERT_TRUE(runs.SetAsideKilledRun(warning));
    EXPECT_EQ(warning, "");
    EXPECT_TRUE(fs::is_directory(target + "/2026-12-08_030600.incomplete/entry"));
    for (const char* failed : {"2026-12-08_030700", "2026-12-08_030700-2"}) {
        fs::create_directories(target + "/" + failed);
        ASSERT_TRUE(runs.MarkInProgress(target + "/" + failed));
        EXPECT_EQ(runs.SetAside(target + "/" + failed), target + "/" + failed + ".incomplete");
        EXPECT_FALSE(fs::exists(base + "/image-in-progress"));
    }
    EXPECT_EQ(Names(target),
              (std::vector<std::string>{"2026-12-08_030513", "2026-12-08_030514x",
                                        "2026-12-08_030515-", "2026-12-08_030700-2.incomplete"}));
}

// Runs that start in one second each claim a folder of their own, and none takes the name a
// failed run's folder was set aside from.
TEST_F(PullStateTest, RunsOfOneSecondClaimFoldersOfTheirOwn) {
    RunFolders runs(base, target);
    const std::time_t now = 1291780000;
    const std::string stem = target + "/" + RunFolders::Name(now);
    EXPECT_EQ(*runs.Claim(now), stem);
    fs::create_directories(stem + "-2.incomplete");
    EXPECT_EQ(*runs.Claim(now), stem + "-3");
    EXPECT_EQ(*runs.Claim(now), stem + "-4");
    fs::remove_all(target);
    const platform::Expected<std::string> none = runs.Claim(now);
    ASSERT_FALSE(none);
    EXPECT_EQ(none.error().Said(), "no folder for its image can be made in " + target);
}

// The list keeps what no run fetched yet, whatever order two runs end in, and a list holding what
// is no range is set aside whole while the ranges that read stay.
TEST_F(PullStateTest, TheKeptRangesLoseNothingToAnotherRunOrToJunk) {
    const std::vector<PullEntry> a{{"20100523", "1000", "1001"}}, b{{"20100523", "1005", "1005"}};
    const auto wanting = [](const std::vector<PullEntry>& ranges) {
        return
            [ranges](std::time_t&) { return platform::Expected<std::vector<PullEntry>>(ranges); };
    };
    std::vector<PullEntry> before, after;
    ASSERT_TRUE(ChangePending(base, wanting(a), {}, before, after));
    ASSERT_TRUE(ChangePending(base, wanting(b), {}, before, after));
    EXPECT_EQ(after.size(), 2u);
    ASSERT_TRUE(ChangePending(base, nullptr, a, before, after));
    ASSERT_EQ(after.size(), 1u);
    EXPECT_TRUE(SameRange(after[0], b[0]));

    std::string junk = "20100523 1005 1005\n";
    while (junk.size() <= (1u << 20) + 4096)
        junk += "not a range at all, and a line another program left\n";
    WriteText(base + "/pending-ranges", junk);
    std::string aside;
    ASSERT_TRUE(ChangePending(base, nullptr, {}, before, after, &aside));
    EXPECT_EQ(aside.rfind(base +
                              "/pending-ranges held more than the 1 MiB that is read; it is "
                              "kept as " +
                              base + "/pending-ranges.bad-",
                          0),
              0u)
        << aside;
    ASSERT_EQ(after.size(), 1u);
    EXPECT_TRUE(SameRange(after[0], b[0]));
    EXPECT_EQ(ReadText(base + "/pending-ranges"), "20100523 1005 1005\n");

    WriteText(base + "/pending-ranges", "20100523 1005 1005\nyesterday\n20260230 1000 1000\n");
    ASSERT_TRUE(ChangePending(base, nullptr, {}, before, after, &aside));
    EXPECT_HAS(aside, "held 2 lines that are no range");
    EXPECT_EQ(after.size(), 1u);
    std::size_t setAside = 0;
    for (const std::string& name : Names(base))
        setAside += name.rfind("pending-ranges.bad-", 0) == 0 ? 1 : 0;
    EXPECT_EQ(setAside, 2u);
}

// A run killed while it wrote a state file leaves a temporary name beside it; the next run
// removes those of the files it writes under the lock it holds, and no other file's.
TEST_F(PullStateTest, WhatAKilledRunLeftHalfWrittenGoesWithTheNextRun) {
    for (const char* left :
         {".pending-ranges.4242-0.quillon-part", ".reached.4242-1.quillon-part",
          ".image-in-progress.4242-2.quillon-part", ".image-incomplete.4242-3.quillon-part"})
        WriteText(base + "/" + left, "half");
    WriteText(base + "/.pending-ranges.notes", "kept");
    std::vector<PullEntry> before, after;
    ASSERT_TRUE(ChangePending(base, nullptr, {}, before, after));
    EXPECT_EQ(Names(base), (std::vector<std::string>{".image-in-progress.4242-2.quillon-part",
                                                     ".image-incomplete.4242-3.quillon-part",
                                                     ".pending-ranges.notes"}));
    RunFolders runs(base, target);
    std::string warning;
    ASSERT_TRUE(runs.SetAsideKilledRun(warning));
    EXPECT_EQ(Names(base), std::vector<std::string>{".pending-ranges.notes"});
}

namespace {

// A recorder of the test's days and cameras, and a pass that fetches what is scheduled.
struct FakeSteps : PullSteps {
    platform::Outcome Open() override { return platform::Succeeded(); }
    void Note(int, const std::string&) override {}
    platform::Expected<std::vector<std::string>> Days() override {
        if (days.empty() && !up)
            return platform::Error{platform::Error::Kind::kFailed, "down", ""};
        return days;
    }
    std::string Label(const PullEntry& e) const override { return e.day + e.start + e.end; }
    backup::ScheduleListing Schedule() const override { return {schedule, 0, ""}; }
    platform::Expected<std::vector<int>> CamerasRecordedIn(const PullEntry&) override {
        return recorded;
    }
    bool Add(const PullEntry& e, const std::vector<int>& cameras) override {
        schedule.push_back({Label(e), static_cast<int>(schedule.size())});
        added.insert(Label(e));
        addedCameras = cameras;
        return true;
    }
    bool Delete(const std::string&) override { return false; }
    PassResult RunPass(const std::string&) override {
        schedule.clear();  // every entry made whole
        return {true, {}, "", ""};
    }
    bool Verify(const std::string&, bool) override { return true; }

    std::vector<std::string> days;
    bool up = false;  // without days, it answers that it has none rather than failing
    std::vector<int> recorded{1}, addedCameras;
    std::vector<backup::ListedEntry> schedule;
    std::set<std::string> added;
};

class PullJobTest : public TempPrefixTest {
  protected:
    void SetUp() override {
        TempPrefixTest::SetUp();
        conf.target = prefix() + "/images";
        fs::create_directories(conf.target);
    }
    PullOutcome Pull(const std::string& range, std::time_t now = std::time(nullptr)) {
        PullJob job("gate", now);
        conf.range = range;
        const platform::Outcome configured = job.Configure(conf);
        return configured ? job.Run(steps, "127.0.0.1", 9000)
                          : job.Failed(configured.error().Said());
    }
    PullConfig conf;
    FakeSteps steps;
};

}  // namespace

TEST_F(PullJobTest, RangesBeyondTheScheduleAreFetchedByTheNextRun) {
    std::vector<std::string> days;
    for (int day = 1; day <= kScheduleSlots + 2; ++day) {
        char name[16];
        std::snprintf(name, sizeof name, "2010%02d%02d", 3 + (day - 1) / 28, 1 + (day - 1) % 28);
        ASSERT_EQ(Pull(std::string(name) + " 1000 1000").status, 1) << name;  // recorder down
        days.push_back(name);
    }
    steps.days = days;
    const PullOutcome first = Pull(days.back() + " 1000 1000");
    EXPECT_EQ(first.status, 1);
    EXPECT_EQ(first.level, 4);  // a partial run, not a failed one
    EXPECT_EQ(first.text.rfind("pull gate: " + std::to_string(kScheduleSlots) + " entries ", 0), 0u)
        << first.text;
    EXPECT_HAS(first.text, "; 2 ranges did not fit its schedule, the next run fetches them");
    const PullOutcome second = Pull(days.back() + " 1000 1000");
    EXPECT_EQ(second.status, 0) << second.text;
    EXPECT_EQ(second.level, 5);
    EXPECT_EQ(second.text.rfind("pull gate: 2 entries ", 0), 0u) << second.text;
    EXPECT_EQ(steps.added.size(), steps.days.size());
}

// The ranges of more failed runs than the schedule has slots, each holding the last: one entry.
TEST_F(PullJobTest, RangesOfManyFailedRunsAreFetchedOnce) {
    for (int minute = 10; minute < kScheduleSlots + 15; ++minute)
        ASSERT_EQ(Pull("20100523 1000 10" + std::to_string(minute)).status, 1);  // recorder down
    steps.days = {"20100523"};
    const PullOutcome back = Pull("20100523 1000 1059");
    EXPECT_EQ(back.text.rfind("pull gate: 1 entries (1 ranges from earlier runs) into ", 0), 0u)
        << back.text;
    EXPECT_EQ(steps.added, std::set<std::string>{"2010052310001059"});
}

// A camera of the list that recorded nothing is no failure, but the run's line says which at
// warning; a range none of the list's cameras recorded in schedules nothing.
TEST_F(PullJobTest, ACameraThatRecordedNothingIsNamedAtWarning) {
    steps.days = {"20100523"};
    steps.recorded = {1, 2, 3};
    conf.cameraNumbers = {1, 4};
    const PullOutcome some = Pull("20100523 1000 1003");
    EXPECT_EQ(some.status, 0) << some.text;
    EXPECT_EQ(some.level, 4);
    EXPECT_HAS(some.text, ", verified; camera 4 recorded nothing in 20100523 1000-1003");
    EXPECT_EQ(steps.addedCameras, std::vector<int>{1});

    conf.cameraNumbers = {4};
    const PullOutcome none = Pull("20100523 1000 1003");
    EXPECT_EQ(none.status, 0);
    EXPECT_EQ(none.level, 4);
    EXPECT_EQ(none.text,
              "pull gate: nothing recorded in 20100523 1000 1003; camera 4 recorded "
              "nothing in 20100523 1000-1003");
    conf.cameraNumbers.clear();  // all cameras, and none recorded
    steps.recorded.clear();
    const PullOutcome empty = Pull("20100523 1000 1003");
    EXPECT_EQ(empty.level, 5);
    EXPECT_EQ(empty.text, "pull gate: nothing recorded in 20100523 1000 1003");
    EXPECT_EQ(steps.added.size(), 1u);
}

// A target on a disk not mounted is not made: the run fails, and the next fetches its range.
TEST_F(PullJobTest, APullWhoseTargetIsNotThereMakesNoneAndKeepsItsRange) {
    steps.days = {"20100523"};
    conf.target += "/gate";
    const PullOutcome unmounted = Pull("20100523 1000 1000");
    EXPECT_EQ(unmounted.status, 1);
    EXPECT_EQ(unmounted.level, 3);
    EXPECT_HAS(unmounted.text, "pull gate: failed: its target " + conf.target + " is not there");
    EXPECT_FALSE(fs::exists(conf.target));
    fs::create_directories(conf.target);
    const PullOutcome mounted = Pull("20100523 1000 1000");
    EXPECT_EQ(mounted.status, 0) << mounted.text;
    EXPECT_HAS(mounted.text, "1 entries (1 ranges from earlier runs)");
}

// A recorder up but without its recordings lists no day: the run fails, keeping its range for the
// next; a range is reckoned in the recorder's zone.
TEST_F(PullJobTest, ARecorderThatListsNoDayFailsTheRunAndTheRangeIsReckonedInItsZone) {
    steps.up = true;
    conf.remote = "127.0.0.1:9";
    const PullOutcome gone = Pull("20100523 1000 1001");
    EXPECT_EQ(gone.status, 1);
    EXPECT_HAS(gone.text, "pull gate: failed: 127.0.0.1:9: the recorder lists no recorded day");
    steps.days = {"20100523"};
    const PullOutcome back = Pull("20100523 1001 1001");
    EXPECT_EQ(back.status, 0) << back.text;
    EXPECT_HAS(back.text, "pull gate: 1 entries (1 ranges from earlier runs) into ");

    // 2026-12-08 01:15 UTC is still the 7th twelve hours west: its yesterday is the 6th.
    const ScopedEnv tz("TZ", "UTC");
    conf.timeZone = "Nowhere/Atlantis";
    EXPECT_HAS(Pull("yesterday").text, "no time zone Nowhere/Atlantis");
    conf.timeZone = "Etc/GMT+12";
    steps.days = {"20261206", "20261207"};
    steps.added.clear();
    EXPECT_EQ(Pull("yesterday", 1796692500).status, 0);
    EXPECT_EQ(steps.added, std::set<std::string>{"2026120600002359"});
}
