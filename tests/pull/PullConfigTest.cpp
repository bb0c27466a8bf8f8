// A pull's configuration decides where its run goes and where its token is sent: one that
// someone else may change is not read, nor one that names a camera past its camera count. And a
// recorder that lists no day at all fails its run, keeping the range for the next; its range is
// reckoned in the recorder's zone.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>

#include "ScopedEnv.h"
#include "TestEnv.h"
#include "pull/PullConfig.h"
#include "pull/PullJob.h"
#include "share/Has.h"

using namespace pull;
namespace fs = std::filesystem;

class PullConfigTest : public TempPrefixTest {
  protected:
    void SetUp() override {
        TempPrefixTest::SetUp();
        pulls = prefix() + "/pull.d";
        fs::create_directories(pulls);
        fs::permissions(pulls, fs::perms::owner_all);
        conf = pulls + "/w.conf";
        dir.emplace("QUILLON_PULL_DIR", pulls);
    }
    void TearDown() override {
        dir.reset();
        TempPrefixTest::TearDown();
    }
    void Write(const std::string& path, const std::string& more = "") const {
        fs::remove(path);
        std::ofstream(path) << "remote = 127.0.0.1:9\ntarget = " << prefix() << "\n" << more;
        fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write |
                                  fs::perms::group_read | fs::perms::others_read);
    }
    // The configuration's refusal, "" when it was read; kind is the refusal's.
    std::string Read() {
        const platform::Expected<PullConfig> read = ReadPullConfig("w");
        kind = read ? platform::Error::Kind::kFailed : read.error().kind;
        return read ? std::string() : read.error().Said();
    }
    platform::Error::Kind kind = platform::Error::Kind::kFailed;
    std::string pulls, conf;
    std::optional<ScopedEnv> dir;
};

TEST_F(PullConfigTest, AConfigurationOthersMayChangeOrThatNamesACameraPastTheCountIsNotRead) {
    Write(conf);
    ASSERT_EQ(Read(), "");
    fs::permissions(conf, fs::perms::group_write | fs::perms::others_write, fs::perm_options::add);
    EXPECT_HAS(Read(), conf + " may be changed by others (mode 0666)");
    EXPECT_EQ(kind, platform::Error::Kind::kRefused);
    Write(conf);
    fs::permissions(conf, fs::perms::group_write, fs::perm_options::add);
    EXPECT_HAS(Read(), conf + " may be changed by others (mode 0664)");

    Write(prefix() + "/elsewhere.conf");
    fs::remove(conf);
    fs::create_symlink(prefix() + "/elsewhere.conf", conf);
    EXPECT_HAS(Read(), conf + " is a symbolic link");
    EXPECT_EQ(kind, platform::Error::Kind::kRefused);
    fs::remove(conf);
    EXPECT_EQ(Read(), conf + " does not exist");
    EXPECT_EQ(kind, platform::Error::Kind::kNotFound);

    Write(conf);
    fs::permissions(pulls, fs::perms::all);
    EXPECT_HAS(Read(), "the folder " + pulls + " may be changed by others (mode 0777)");
    fs::permissions(pulls, fs::perms::owner_all);
    if (::geteuid() == 0) {
        // Only root can give a file away; "another user" is neither this one nor root.
        ASSERT_EQ(::chown(conf.c_str(), 65534, 65534), 0);
        EXPECT_HAS(Read(), conf + " belongs to user 65534");
    }

    Write(conf, "cameras = 2,6\ncamera-count = 4\n");
    EXPECT_HAS(Read(), "w.conf: camera 6 is beyond camera-count 4");
    EXPECT_EQ(kind, platform::Error::Kind::kDamaged);
}

namespace {

// A recorder up but without its recordings: it answers, and lists no day, saying nothing why.
struct NoDaySteps : PullSteps {
    platform::Outcome Open() override { return platform::Succeeded(); }
    void Note(int, const std::string&) override {}
    platform::Expected<std::vector<std::string>> Days() override { return days; }
    std::string Label(const PullEntry& e) const override { return e.day + e.start + e.end; }
    backup::ScheduleListing Schedule() const override { return {}; }
    platform::Expected<std::vector<int>> CamerasRecordedIn(const PullEntry&) override {
        return std::vector<int>{1};
    }
    bool Add(const PullEntry& e, const std::vector<int>&) override {
        added.push_back(e.day);
        return true;
    }
    bool Delete(const std::string&) override { return false; }
    PassResult RunPass(const std::string&) override { return {true, {}, "", ""}; }
    bool Verify(const std::string&, bool) override { return true; }
    std::vector<std::string> days, added;
};

}  // namespace

TEST_F(PullConfigTest, ARecorderThatListsNoDayFailsTheRunAndTheRangeIsReckonedInItsZone) {
    PullConfig c;
    c.remote = "127.0.0.1:9";
    c.target = prefix();
    NoDaySteps steps;
    const auto run = [&](const std::string& range, std::time_t now = std::time(nullptr)) {
        c.range = range;
        PullJob job("gate", now);
        const platform::Outcome configured = job.Configure(c);
        return configured ? job.Run(steps, "127.0.0.1", 9) : job.Failed(configured.error().Said());
    };
    const PullOutcome gone = run("20100523 1000 1001");
    EXPECT_EQ(gone.status, 1);
    EXPECT_HAS(gone.text, "pull gate: failed: 127.0.0.1:9: the recorder lists no recorded day");
    steps.days = {"20100523"};
    const PullOutcome back = run("20100523 1001 1001");
    EXPECT_EQ(back.status, 0) << back.text;
    EXPECT_HAS(back.text, "pull gate: 1 entries (1 ranges from earlier runs) into ");

    // 2026-12-08 01:15 UTC is still the 7th twelve hours west: its yesterday is the 6th.
    const ScopedEnv tz("TZ", "UTC");
    c.timeZone = "Nowhere/Atlantis";
    EXPECT_HAS(run("yesterday").text, "no time zone Nowhere/Atlantis");
    c.timeZone = "Etc/GMT+12";
    steps.days = {"20261206", "20261207"};
    steps.added.clear();
    EXPECT_EQ(run("yesterday", 1796692500).status, 0);
    EXPECT_EQ(steps.added, std::vector<std::string>{"20261206"});
}
