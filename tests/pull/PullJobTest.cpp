// The rules of one pull run, against a recorder and a pass of the test's own: how many ranges a
// run schedules, what it says at which level, and what it keeps for the next run. (What goes
// over a real link is tools/CliPullTest's.)
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>

#include "TestEnv.h"
#include "pull/PullJob.h"
#include "records/ScheduleEntry.h"
#include "share/Has.h"

using namespace pull;
namespace fs = std::filesystem;

namespace {

// A recorder of the test's days and cameras, and a pass that fetches what is scheduled.
struct FakeSteps : PullSteps {
    std::string Open() override { return std::string(); }
    void Note(int, const std::string&) override {}
    std::vector<std::string> Days(std::string& why) override {
        why = days.empty() ? "down" : "";
        return days;
    }
    std::string Label(const PullEntry& e) const override { return e.day + e.start + e.end; }
    backup::ScheduleListing Schedule() const override { return {schedule, 0, ""}; }
    bool CamerasRecordedIn(const PullEntry&, std::vector<int>& cameras, std::string&) override {
        cameras = recorded;
        return true;
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
    PullOutcome Pull(const std::string& range) {
        PullJob job("gate", std::time(nullptr));
        conf.range = range;
        const std::optional<PullOutcome> refused = job.Configure(conf);
        return refused ? *refused : job.Run(steps, "127.0.0.1", 9000);
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
