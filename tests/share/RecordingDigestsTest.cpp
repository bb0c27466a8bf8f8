// What the server remembers of the recordings' digests.
#include <gtest/gtest.h>

#include "backup/server/RecordingDigests.h"

namespace {

platform::FileStamp Stamp(std::uint64_t inode, long long length, std::int64_t changed) {
    return platform::FileStamp{platform::FileId{1, inode}, length, 100, changed};
}

}  // namespace

TEST(RecordingDigestsTest, ADigestIsFoundOnlyForTheStampItWasTakenAtAndTheOldestGoFirst) {
    RecordingDigests digests(2);
    digests.Remember("/r/a", Stamp(1, 10, 5), Stamp(1, 10, 5), "aa");
    EXPECT_EQ(digests.Find("/r/a", Stamp(1, 10, 5)), "aa");
    // Another file under the name, another length, a later change: none.
    EXPECT_FALSE(digests.Find("/r/a", Stamp(2, 10, 5)));
    EXPECT_FALSE(digests.Find("/r/a", Stamp(1, 11, 5)));
    EXPECT_FALSE(digests.Find("/r/a", Stamp(1, 10, 6)));
    EXPECT_FALSE(digests.Find("/r/b", Stamp(1, 10, 5)));
    // Changed while it was read: not remembered.
    digests.Remember("/r/b", Stamp(3, 10, 5), Stamp(3, 10, 7), "bb");
    EXPECT_FALSE(digests.Find("/r/b", Stamp(3, 10, 5)));
    EXPECT_FALSE(digests.Find("/r/b", Stamp(3, 10, 7)));
    digests.Remember("/r/b", Stamp(3, 10, 7), Stamp(3, 10, 7), "bb");
    digests.Remember("/r/c", Stamp(4, 10, 7), Stamp(4, 10, 7), "cc");
    EXPECT_FALSE(digests.Find("/r/a", Stamp(1, 10, 5)));
    EXPECT_EQ(digests.Find("/r/b", Stamp(3, 10, 7)), "bb");
    EXPECT_EQ(digests.Find("/r/c", Stamp(4, 10, 7)), "cc");
}
