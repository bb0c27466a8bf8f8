// A pull's configuration decides where its run goes and where its token is sent: one that
// someone else may change is not read, nor one that names a camera past its camera count.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>

#include "ScopedEnv.h"
#include "TestEnv.h"
#include "pull/PullConfig.h"
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
