// The image's list as the server keeps it while it builds, and the changes a client is sent.
#include "ShareFixture.h"
#include "platform/WriteTap.h"
#include "share/ListedFiles.h"

namespace {
share::ListedFile File(const std::string& name, long long size, char hex = 'a') {
    return {name, size, std::string(64, hex)};
}

using Names_ = std::vector<std::string>;

Names_ Names(const std::vector<share::ListedFile>& files) {
    Names_ names;
    for (const auto& f : files)
        names.push_back(f.name);
    return names;
}
}  // namespace

TEST(ListedFilesTest, ChangesAfterANumberAreWhatWasListedOrTakenOutSinceInTheirOrder) {
    share::ListedFiles list(1000);
    list.Put(File("a", 1));
    list.Put(File("b", 2));
    const std::uint64_t seen = list.last();
    list.Put(File("a", 1));  // as it is: no change
    list.Put(File("c", 3));
    list.Put(File("b", 2, 'b'));  // other bytes
    list.Remove("a");
    list.Remove("x");  // never listed
    std::vector<share::ListedFile> files;
    std::vector<std::string> gone;
    const auto since = [&](std::uint64_t number) {
        files.clear();
        gone.clear();
        list.Since(number, files, gone);
    };
    since(seen);
    EXPECT_EQ(Names(files), (Names_{"c", "b"}));
    EXPECT_EQ(files[1].sha256, std::string(64, 'b'));
    EXPECT_EQ(gone, Names_{"a"});
    // Nothing after the last number; the whole list (without what was taken out) for one that
    // is not this list's: 0, one before its first, one after its last.
    since(list.last());
    EXPECT_TRUE(files.empty() && gone.empty());
    for (std::uint64_t unknown : {std::uint64_t{0}, std::uint64_t{999}, list.last() + 1}) {
        since(unknown);
        EXPECT_EQ(Names(files), (Names_{"c", "b"})) << unknown;
        EXPECT_TRUE(gone.empty()) << unknown;
    }
    // The finished list: only what differs is a change; a name back after it was taken out is
    // listed again, not gone.
    const std::uint64_t before = list.last();
    list.Replace({File("a", 9), File("b", 2, 'b')});
    since(before);
    EXPECT_EQ(Names(files), Names_{"a"});
    EXPECT_EQ(gone, Names_{"c"});
}

class ListChangesTest : public ShareFixture {};

TEST_F(ListChangesTest, AFileTheBuildWithdrawsAfterListingItLeavesTheListAndIsNotServed) {
    // At 10:02, once the test has seen it listed, the build withdraws the data file of 10:00
    // (listed when 10:01 began): on the build's own thread, as the extraction would.
    const std::string withdrawn = "201005231000N.dat";
    // Shared with the build, which goes on after the test's end until the server stops.
    struct Steps {
        Flag seen, done, release;
        std::atomic<bool> tried{false}, withdrawn{false};
    };
    const auto steps = std::make_shared<Steps>();
    const std::string withdrawnPath = ServerImage() + "/" + kDay + "/" + withdrawn;
    Serve("", [steps, withdrawnPath](const std::string& item, const std::atomic<bool>& cancel) {
        if (item.find(std::string(kDay) + "1002") == std::string::npos ||
            steps->tried.exchange(true))
            return;
        steps->seen.Wait(&cancel);
        steps->withdrawn = platform::WithdrawWrittenFile(withdrawnPath);
        steps->done.Raise();
        steps->release.Wait(&cancel);
    });
    httplib::Client http("127.0.0.1", server->port());
    const std::string path = StartImage(http, ImageRequest());
    // The first list that holds it, with its number.
    share::JobStatus first;
    WaitUntil([&] {
        first = Status(http, path + "?since=0");
        return first.state != share::JobState::kBuilding ||
               std::any_of(first.files.begin(), first.files.end(),
                           [&](const auto& f) { return f.name == withdrawn; });
    });
    ASSERT_EQ(first.state, share::JobState::kBuilding);
    ASSERT_TRUE(first.list);
    steps->seen.Raise();
    ASSERT_TRUE(steps->done.Wait() && steps->withdrawn)
        << "the build did not withdraw " << withdrawn;
    // Still building: the changes say it is gone, the whole list no longer has it, and asking
    // for it is answered as for any name that is not listed.
    const share::JobStatus changes = Status(http, path + "?since=" + std::to_string(*first.list));
    EXPECT_EQ(changes.state, share::JobState::kBuilding);
    EXPECT_EQ(changes.gone, std::vector<std::string>{withdrawn});
    for (const auto& f : Status(http, path).files)
        EXPECT_NE(f.name, withdrawn);
    EXPECT_EQ(http.Get(FilePath(first, withdrawn))->status, 404);
    steps->release.Raise();
    // Built: asked for without a number it is the whole list, as before; after its last number
    // nothing; after a number that is none of this job's, the whole list again.
    const share::JobStatus built = WaitBuilt(http, path);
    ASSERT_EQ(built.state, share::JobState::kDone) << built.problem;
    EXPECT_FALSE(built.list);
    ASSERT_FALSE(built.files.empty());
    const std::uint64_t number = Status(http, path + "?since=0").list.value_or(0);
    const share::JobStatus none = Status(http, path + "?since=" + std::to_string(number));
    EXPECT_EQ(none.from, number);
    EXPECT_TRUE(none.files.empty() && none.gone.empty());
    for (const std::string& bad :
         std::vector<std::string>{"0", "1", "abc", std::to_string(number + 1), "-5"}) {
        const share::JobStatus all = Status(http, path + "?since=" + bad);
        EXPECT_EQ(all.from, 0u) << bad;
        EXPECT_EQ(all.files.size(), built.files.size()) << bad;
        EXPECT_TRUE(all.gone.empty()) << bad;
    }
}
