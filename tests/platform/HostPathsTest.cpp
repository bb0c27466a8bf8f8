// Host paths asked of the system as they stand, a file's head read without waiting on a pipe,
// and a file held by one holder at a time.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "TestEnv.h"
#include "platform/ChildExit.h"
#include "platform/HostFiles.h"
#include "platform/HostPaths.h"
#include "platform/LockedFile.h"

using namespace platform;

class HostPathsTest : public TempPrefixTest {};

TEST_F(HostPathsTest, KindsFollowLinks) {
    const std::string file = prefix() + "/file", folder = prefix() + "/folder";
    WriteText(file, "12345");
    ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
    ASSERT_EQ(::mkfifo((prefix() + "/pipe").c_str(), 0600), 0);
    ASSERT_EQ(::symlink(file.c_str(), (prefix() + "/to-file").c_str()), 0);
    ASSERT_EQ(::symlink((prefix() + "/gone").c_str(), (prefix() + "/dangling").c_str()), 0);

    EXPECT_EQ(LookAtHostPath(file).kind, HostKind::kFile);
    EXPECT_EQ(LookAtHostPath(file).size, 5);
    EXPECT_EQ(LookAtHostPath(prefix() + "/to-file").kind, HostKind::kFile);
    EXPECT_EQ(LookAtHostPath(prefix() + "/to-file").size, 5);
    EXPECT_EQ(LookAtHostPath(folder).kind, HostKind::kFolder);
    EXPECT_EQ(LookAtHostPath(prefix() + "/pipe").kind, HostKind::kOther);
    EXPECT_EQ(LookAtHostPath(prefix() + "/dangling").kind, HostKind::kNothing);
    EXPECT_EQ(LookAtHostPath(prefix() + "/FILE").kind, HostKind::kNothing)
        << "no lookup without regard to case";
    EXPECT_TRUE(MayReadAndWrite(file));
    EXPECT_FALSE(MayReadAndWrite(prefix() + "/gone"));
}

TEST_F(HostPathsTest, HeadIsReadWithoutWaitingOnAPipe) {
    unsigned char head[8] = {};
    WriteText(prefix() + "/short", "abc");
    EXPECT_EQ(ReadHostFileHead(prefix() + "/short", head, sizeof head), 3);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(head), 3), "abc");
    WriteText(prefix() + "/long", "0123456789");
    EXPECT_EQ(ReadHostFileHead(prefix() + "/long", head, sizeof head), 8);
    EXPECT_EQ(head[7], '7');

    EXPECT_EQ(ReadHostFileHead(prefix() + "/missing", head, sizeof head), kCannotOpen);
    EXPECT_EQ(ReadHostFileHead(prefix(), head, sizeof head), kNotAFile);
    // A pipe nobody writes to would hold a blocking open for good.
    ASSERT_EQ(::mkfifo((prefix() + "/pipe").c_str(), 0600), 0);
    EXPECT_EQ(ReadHostFileHead(prefix() + "/pipe", head, sizeof head), kNotAFile);
}

// One holder at a time, in this process or another; never a link or a folder; what it holds
// kept until it is emptied.
TEST_F(HostPathsTest, LockedFileHasOneHolderAndIsNeverALinkOrAFolder) {
    const std::string path = prefix() + "/disc.iso";
    auto held = LockedFile::Take(path);
    ASSERT_NE(held, nullptr) << "a missing file is made";
    EXPECT_EQ(held->Length(), 0);
    EXPECT_EQ(LockedFile::Take(path), nullptr);
    EXPECT_EQ(ExitOfChild([&] { return LockedFile::Take(path) ? 0 : 3; }), 3);
    held.reset();

    WriteText(path, "0123456789");
    auto file = LockedFile::Take(path);
    ASSERT_NE(file, nullptr) << "free again once its holder has gone";
    EXPECT_EQ(ReadText(path), "0123456789") << "taking a file keeps what it holds";
    EXPECT_EQ(file->Length(), 10);
    char bytes[8] = {};
    EXPECT_EQ(file->ReadAt(bytes, 4, 6), 4);
    EXPECT_EQ(std::string(bytes, 4), "6789");
    EXPECT_EQ(file->ReadAt(bytes, 8, 8), 2) << "fewer at the end";
    EXPECT_TRUE(file->Empty());
    EXPECT_TRUE(file->Sync());
    EXPECT_EQ(file->Length(), 0);
    EXPECT_EQ(ReadText(path), "");

    ASSERT_EQ(::symlink(path.c_str(), (prefix() + "/link").c_str()), 0);
    file.reset();
    WriteText(path, "keep");
    EXPECT_EQ(LockedFile::Take(prefix() + "/link"), nullptr);
    EXPECT_EQ(ReadText(path), "keep");
    EXPECT_EQ(LockedFile::Take(prefix()), nullptr);
    EXPECT_EQ(LockedFile::Take(prefix() + "/no/such/folder/file"), nullptr);
}
