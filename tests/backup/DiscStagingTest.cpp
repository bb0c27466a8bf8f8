// A pass onto a disc stages its image afresh: what a burn that failed left in the disc image
// folder never reaches the next disc.
#include <algorithm>

#include "FakeDiscWriter.h"
#include "PassTest.h"

class DiscStagingTest : public PassTest {
  protected:
    FakeDiscWriter writer;
};

TEST_F(DiscStagingTest, WhatAFailedBurnLeftInTheImageFolderIsNotOnTheNextDisc) {
    writer.freeMB = 4000;
    ctx.m_disc.writer = &writer;
    ASSERT_TRUE(ctx.m_targets.FindWriterDrive());
    RecordDay(600, 605);
    const std::string staging = driveC() + "/QuillonTemp/";
    WriteText(staging + "2010_05_23=10,00~10,01/20100523/201005231000N.dat", "a failed burn's");
    Add("10", "04", "10", "05");
    ctx.m_target.kind = backup::TargetKind::kDisc;  // as the folder browser sets it
    ASSERT_EQ(Start(), "");
    ASSERT_TRUE(ServeUntil([&] {
        return std::find(writer.calls.begin(), writer.calls.end(), "write") != writer.calls.end();
    }));
    EXPECT_FALSE(fs::exists(staging + "2010_05_23=10,00~10,01"));
    EXPECT_TRUE(fs::exists(staging + "2010_05_23=10,04~10,05/20100523/201005231005N.dat"));
}
