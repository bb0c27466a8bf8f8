#include "platform/FileSystem.h"

#include <filesystem>

#include "TestEnv.h"
#include "platform/File.h"
#include "platform/FolderTree.h"
#include "platform/OwnerOnly.h"
#include "platform/TrustedPath.h"
#include "share/Has.h"

using namespace platform;
namespace fs = std::filesystem;

class FileSystemTest : public TempPrefixTest {};

TEST_F(FileSystemTest, CreateDirectoryResults) {
    EXPECT_TRUE(CreateDirectory("C:\\Reserved"));
    EXPECT_FALSE(CreateDirectory("c:\\reserved"));
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    EXPECT_FALSE(CreateDirectory("C:\\missing\\child"));
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
    WriteText(driveC() + "/plain", "x");
    EXPECT_FALSE(CreateDirectory("C:\\plain\\child"));
    EXPECT_TRUE(CreateDirectoryTree("C:\\a\\b\\c"));
    EXPECT_TRUE(IsDirectory("C:\\A\\B\\C"));
}

// A write longer than a slice goes out in several calls: every byte lands once, in order, at
// the file's position or at the offset given, also when the length is no multiple of a slice.
TEST_F(FileSystemTest, LongWritesLandWholeAcrossTheirSlices) {
    std::string bytes(3 * File::kWriteSlice + 4321, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(i * 31 + i / 4096);
    File f;
    ASSERT_TRUE(f.Open("C:\\long.bin", File::kCreateWrite));
    ASSERT_TRUE(f.Write("head", 4));
    ASSERT_TRUE(f.Write(bytes.data(), bytes.size()));
    ASSERT_TRUE(f.WriteAt(bytes.data(), bytes.size(), 2 * bytes.size() + 7));
    f.Close();
    const std::string back = ReadText(driveC() + "/long.bin");
    ASSERT_EQ(back.size(), 3 * bytes.size() + 7);
    EXPECT_EQ(back.substr(0, 4), "head");
    EXPECT_EQ(back.substr(4, bytes.size()), bytes);
    EXPECT_EQ(back.substr(4 + bytes.size(), bytes.size() + 3), std::string(bytes.size() + 3, '\0'));
    EXPECT_EQ(back.substr(2 * bytes.size() + 7), bytes);
}

TEST_F(FileSystemTest, AReadThatRefusesLinksOpensOnlyTheFileItself) {
    const std::string file = driveC() + "/real.bin", link = driveC() + "/link.bin";
    WriteText(file, "the file");
    fs::create_symlink(file, link);
    File f;
    EXPECT_TRUE(f.OpenResolved(link, File::kRead));  // a plain read follows it
    EXPECT_FALSE(f.OpenResolved(link, File::kReadNoLink));
    EXPECT_FALSE(f.IsOpen());
    EXPECT_FALSE(f.Open("C:\\link.bin", File::kReadNoLink));
    ASSERT_TRUE(f.Open("C:\\REAL.bin", File::kReadNoLink));
    EXPECT_EQ(f.Length(), 8);
    EXPECT_FALSE(f.Write("x", 1));  // read only
}

// The readers' failures say what kind they are, about the path they concern, so that a caller
// decides on the kind: nothing there, not to be used, or not what it should be.
TEST_F(FileSystemTest, TheReadersSayWhatKindOfFailureTheyMet) {
    using Kind = Error::Kind;
    const std::string secret = driveC() + "/secret", folder = driveC() + "/folder";
    const auto secretRead = [&](const std::string& path, std::size_t limit = 64) {
        return ReadSecretFile(path, SecretFile::kOwnerOnly, limit);
    };
    const auto failure = [](const auto& read) {
        return read ? std::make_pair(Kind::kFailed, std::string("read"))
                    : std::make_pair(read.error().kind, read.error().Said());
    };
    EXPECT_EQ(failure(secretRead(secret)),
              std::make_pair(Kind::kNotFound, secret + " does not exist"));
    WriteText(secret, "token");
    fs::permissions(secret, fs::perms::owner_read | fs::perms::owner_write);
    ASSERT_TRUE(secretRead(secret));
    EXPECT_EQ(*secretRead(secret), "token");
    EXPECT_EQ(failure(secretRead(secret, 4)),
              std::make_pair(Kind::kDamaged, secret + " is longer than 4 bytes"));
    fs::create_symlink(secret, driveC() + "/link");
    EXPECT_EQ(failure(secretRead(driveC() + "/link")).first, Kind::kRefused);
    fs::create_directories(folder);
    EXPECT_EQ(failure(secretRead(folder)),
              std::make_pair(Kind::kRefused, folder + " is not a regular file"));
    fs::permissions(secret, fs::perms::group_read, fs::perm_options::add);
    EXPECT_EQ(failure(secretRead(secret)).first, Kind::kRefused);

    WriteText(folder + "/plain", "x");
    fs::permissions(folder, fs::perms::all);
    const auto trusted = ReadTrustedFile(folder + "/plain", 64);
    EXPECT_EQ(failure(trusted).first, Kind::kRefused);
    EXPECT_HAS(failure(trusted).second, folder + "/plain cannot be trusted: the folder " + folder);

    EXPECT_EQ(failure(ListTree(driveC() + "/gone")).first, Kind::kNotFound);
    ASSERT_TRUE(ListTree(folder));
    EXPECT_EQ(ListTree(folder)->size(), 1u);

    EXPECT_EQ(failure(FolderWritable("C:\\gone")),
              std::make_pair(Kind::kNotFound, std::string("C:\\gone is gone")));
    EXPECT_EQ(failure(FolderWritable("C:\\secret")).first, Kind::kNotFound);
    EXPECT_TRUE(FolderWritable("C:\\folder"));
}

TEST_F(FileSystemTest, WildcardSearchOrderAndPatterns) {
    for (const char* name :
         {"201005231405N.idx", "201005231405N.dat", "201005231406N.idx", "b.txt", "A.txt", "noext"})
        WriteText(driveC() + "/day/" + name, "12345");
    fs::create_directories(driveC() + "/day/Audio");
    std::vector<std::string> names;
    for (const auto& f : FindFiles("C:\\DAY\\*.*"))
        names.push_back(f.name);
    EXPECT_EQ(names,
              (std::vector<std::string>{"201005231405N.dat", "201005231405N.idx",
                                        "201005231406N.idx", "A.txt", "Audio", "b.txt", "noext"}));
    auto minute = FindFiles("C:\\day\\201005231405N.*");
    ASSERT_EQ(minute.size(), 2u);
    EXPECT_EQ(minute[0].size, 5u);
    EXPECT_FALSE(minute[0].isDirectory);
    auto one = FindFiles("C:\\day\\a.TXT");
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one[0].name, "A.txt");
    EXPECT_TRUE(FindFiles("C:\\day\\*.zip").empty());
    EXPECT_TRUE(FindFiles("C:\\nowhere\\*.*").empty());
    EXPECT_TRUE(WildcardMatch("2010??23*.au?", "20100523X.AU3"));
    EXPECT_FALSE(WildcardMatch("*.au?", "x.au12"));
}

TEST_F(FileSystemTest, FileReadWriteLengthAndDelete) {
    File f;
    ASSERT_TRUE(f.Open("C:\\x.bin", File::kCreateWrite));
    ASSERT_TRUE(f.Write("hello world", 11));
    f.Close();
    EXPECT_EQ(FileLength("c:\\X.BIN"), 11);
    EXPECT_EQ(FileLength("C:\\none"), -1);
    ASSERT_TRUE(f.Open("C:\\X.bin", File::kRead));
    char buf[16] = {};
    EXPECT_EQ(f.ReadAt(buf, 5, 6), 5);
    EXPECT_EQ(std::string(buf, 5), "world");
    EXPECT_EQ(f.ReadAt(buf, 16, 20), 0);
    f.Close();
    EXPECT_FALSE(f.Open("C:\\", File::kRead));  // a folder is no file
    fs::permissions(driveC() + "/x.bin", fs::perms::owner_read, fs::perm_options::replace);
    EXPECT_TRUE(SetFileAttributesNormal("C:\\x.bin"));
    EXPECT_TRUE(DeleteFile("C:\\x.bin"));
    EXPECT_FALSE(FileExists("C:\\x.bin"));
}
