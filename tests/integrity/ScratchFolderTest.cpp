// The scratch folder a command copies a disc's files into: what killed commands left beside it
// goes, the folder of a command still running stays, and a name of the disc's that climbs out of
// the folder is refused, not followed.
#include <filesystem>
#include <set>

#include "TestEnv.h"
#include "integrity/ImageCopyOut.h"

namespace fs = std::filesystem;
using namespace integrity;

namespace {

std::set<std::string> Names(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(folder))
        names.insert(e.path().filename().string());
    return names;
}

// A disc whose file system names one file in a folder "..".
struct ClimbingDisc : ImageFiles {
    std::string Where() const override { return "disc"; }
    platform::Expected<std::vector<Entry>> List() override {
        return std::vector<Entry>{{"../evil.mp4", 3, true}};
    }
    platform::Outcome Read(const std::string&, const Sink& sink) override {
        sink("bad", 3);
        return platform::Succeeded();
    }
};

}  // namespace

using ScratchFolderTest = TempPrefixTest;

TEST_F(ScratchFolderTest, AKilledCommandsFolderGoesARunningOnesStaysAndNothingClimbsOut) {
    const std::string parent = prefix() + "/tmp";
    WriteText(parent + "/quillon-verify-Killed/entry/cam01.mp4", "half a copy");
    WriteText(parent + "/quillon-verify-Runnin/entry/cam01.mp4", "a copy being checked");
    const platform::NamedLock::Attempt running =
        platform::NamedLock::AcquireFolder(parent + "/quillon-verify-Runnin", false);
    ASSERT_TRUE(running.lock);
    {
        const ScratchFolder first(parent, "quillon-verify");
        const ScratchFolder second(parent, "quillon-verify");  // a second command meanwhile
        ASSERT_NE(first.path(), "");
        EXPECT_EQ(Names(parent),
                  (std::set<std::string>{"quillon-verify-Runnin", fs::path(first.path()).filename(),
                                         fs::path(second.path()).filename()}));
        ClimbingDisc disc;
        EXPECT_FALSE(CopyImageFilesOut(disc, *disc.List(), "", first.path()));
    }
    EXPECT_EQ(Names(parent), std::set<std::string>{"quillon-verify-Runnin"});
    EXPECT_EQ(ReadText(parent + "/quillon-verify-Runnin/entry/cam01.mp4"), "a copy being checked");
}
