// One copy of Quillon Backup at a time on a base folder: a second is refused with the holder
// named, even with a runtime folder of its own (another user's); a lock that cannot be used is
// said as such, not taken for another copy. (A copy that waits its turn is the CLI's test.)
#include <unistd.h>

#include <filesystem>

#include "ScopedEnv.h"
#include "TestEnv.h"
#include "backup/WorkingFolderLock.h"
#include "share/Has.h"

using Kind = platform::Error::Kind;
const std::string kAnotherCopy = "another copy of Quillon Backup is running";

class WorkingFolderLockTest : public TempPrefixTest {
  protected:
    void SetUp() override {
        TempPrefixTest::SetUp();
        std::filesystem::create_directories(driveC() + "/Base");
    }
    platform::Outcome Take(backup::WorkingFolderLock& lock, bool wait = false) {
        return lock.Take("C:\\Base", {.wait = wait});
    }
};

TEST_F(WorkingFolderLockTest, ASecondCopyIsRefusedWithTheHolderNamedUntilTheFirstLetsGo) {
    backup::WorkingFolderLock first, second;
    ASSERT_TRUE(Take(first));
    platform::Outcome refused = Take(second);
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error().kind, Kind::kRefused);
    EXPECT_EQ(refused.error().text, kAnotherCopy + " (pid " + std::to_string(::getpid()) +
                                        "); run this again when it has finished, or add --wait");
    {
        // Another user's runtime folder: the base folder's own lock still keeps it out.
        const ScopedEnv other("QUILLON_RUNTIME_DIR", prefix() + "/run-other");
        refused = Take(second);
        ASSERT_FALSE(refused);
        EXPECT_HAS(refused.error().text, kAnotherCopy);
    }
    first.Release();
    EXPECT_TRUE(Take(second));
}

TEST_F(WorkingFolderLockTest, ALockThatCannotBeUsedIsAnErrorOfItsOwn) {
    // The lock folder below a plain file, then a lock file that is a folder.
    WriteText(prefix() + "/plain", "not a folder");
    std::filesystem::create_directories(prefix() + "/odd/Backup.lock");
    for (const std::string& runtime : {prefix() + "/plain/locks", prefix() + "/odd"}) {
        SCOPED_TRACE(runtime);
        const ScopedEnv dir("QUILLON_RUNTIME_DIR", runtime);
        for (const bool wait : {false, true}) {  // nothing to wait for, either
            backup::WorkingFolderLock lock;
            const platform::Outcome taken = Take(lock, wait);
            ASSERT_FALSE(taken);
            EXPECT_EQ(taken.error().kind, Kind::kFailed);
            EXPECT_HAS(taken.error().Said(), runtime);
            EXPECT_LACKS(taken.error().Said(), kAnotherCopy);
        }
    }
}
