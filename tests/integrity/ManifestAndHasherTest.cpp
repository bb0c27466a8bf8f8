// An image's files as a check reads them (what fails says of which file, and what kind of failure
// it is), the manifest's text as sha256sum reads it, and the hashing of files as a pass writes
// them: only what was committed below the image root, by its last commit, and never a file whose
// bytes went around the hashing.
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>

#include "TestEnv.h"
#include "integrity/ImageFiles.h"
#include "integrity/ImageHasher.h"
#include "integrity/Manifest.h"
#include "integrity/Sha256.h"
#include "integrity/Verify.h"
#include "platform/AtomicFile.h"
#include "platform/ChildExit.h"
#include "share/Has.h"

namespace fs = std::filesystem;
using namespace integrity;
using Kind = platform::Error::Kind;

TEST(ManifestTest, ItsTextReadsBackWithOddNamesAndAPartialMark) {
    std::map<std::string, FileDigest> files = {
        {"b/with space.dat", {Sha256Hex("x", 1), 1}},
        {"a/back\\slash", {Sha256Hex("", 0), 0}},
        {"line\nbreak", {Sha256Hex("yy", 2), 2}},
    };
    const std::string whole = FormatManifest(files, {});
    EXPECT_LACKS(whole, '#');
    // sha256sum's own marks for names with a backslash or a line break.
    EXPECT_HAS(whole, "\\" + files["a/back\\slash"].hex + "  a/back\\\\slash\n");
    Manifest m;
    ASSERT_EQ(ParseManifest(whole, m), "");
    EXPECT_FALSE(m.partial);
    ASSERT_EQ(m.lines.size(), 3u);
    std::map<std::string, std::string> read;
    for (const auto& l : m.lines)
        read[l.path] = l.hex;
    for (const auto& [path, d] : files)
        EXPECT_EQ(read[path], d.hex) << path;

    const std::string partial =
        FormatManifest(files, {"the backup was stopped.", "not copied: x\ny"});
    EXPECT_EQ(partial.rfind(kPartialMarker, 0), 0u);
    ASSERT_EQ(ParseManifest(partial, m), "");
    EXPECT_TRUE(m.partial);
    EXPECT_EQ(m.comments.size(), 2u);
    EXPECT_EQ(m.comments[1], "not copied: x y");  // one line per comment, whatever it held
    EXPECT_EQ(m.lines.size(), 3u);

    EXPECT_NE(ParseManifest("zz  file\n", m), "");
    EXPECT_NE(ParseManifest(files["b/with space.dat"].hex + " nosecondspace\n", m), "");
}

TEST(ManifestTest, TheManifestsOwnFilesAreKnownByName) {
    for (const char* name :
         {"SHA256SUMS", "SHA256SUMS.sig", "SHA256SUMS.pub", "SHA256SUMS-3", "SHA256SUMS-12.sig"})
        EXPECT_TRUE(IsManifestFile(name)) << name;
    for (const char* name :
         {"x/SHA256SUMS", "SHA256SUMS-", "SHA256SUMS-1x", "SHA256SUMSX", "SHA256SUMS.txt"})
        EXPECT_FALSE(IsManifestFile(name)) << name;
    EXPECT_EQ(OlderManifestName("SHA256SUMS.sig", 2), "SHA256SUMS-2.sig");
}

class ImageHasherTest : public TempPrefixTest {
  protected:
    bool Write(const std::string& path, const std::string& bytes) {
        platform::AtomicFile f;
        return f.Create(path) && f.Write(bytes.data(), bytes.size()) && f.Commit();
    }
    // The whole of from copied into a new file to and committed.
    void Copy(const std::string& from, const std::string& to, std::size_t length) {
        platform::File in;
        ASSERT_TRUE(in.Open(from, platform::File::kRead));
        platform::AtomicFile copy;
        ASSERT_TRUE(copy.Create(to));
        long long copied = 0;
        ASSERT_TRUE(copy.CopyFrom(in, &copied));
        ASSERT_EQ(copied, static_cast<long long>(length));
        ASSERT_TRUE(copy.Commit());
    }
    // The handles this process holds open.
    static std::size_t OpenHandles() {
        std::size_t n = 0;
        for ([[maybe_unused]] const auto& e : fs::directory_iterator("/proc/self/fd"))
            ++n;
        return n;
    }
};

TEST_F(ImageHasherTest, CommittedFilesBelowTheRootAreHashedFromTheirBytesAsWritten) {
    const std::string root = driveC() + "/img";
    fs::create_directories(root + "/e/d");
    // Larger than the hasher's buffers, so that a file takes several of them.
    std::string big(9 * platform::WriteTap::kBufferBytes + 12345, '\0');
    for (std::size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>(i * 7 + i / 1000);
    WriteText(driveC() + "/source.dat", big);
    ImageHasher hasher(root);
    {
        platform::ScopedWriteTap tap(&hasher);
        ASSERT_NO_FATAL_FAILURE(Copy("C:\\source.dat", "C:\\img\\e\\d\\copy.dat", big.size()));
        // Gone or replaced at once, perhaps before it was hashed: the hash is still of the
        // bytes written (that the file went is the pass's to find).
        ASSERT_NO_FATAL_FAILURE(Copy("C:\\source.dat", "C:\\img\\e\\lost.dat", big.size()));
        fs::remove(root + "/e/lost.dat");
        WriteText(root + "/e/lost.dat", "other bytes");
        ASSERT_TRUE(Write("C:\\img\\e\\first.txt", "one"));
        ASSERT_TRUE(Write("C:\\img\\e\\first.txt", "two"));  // written again: the last counts
        ASSERT_TRUE(Write("C:\\outside.txt", "not in the image"));
        ASSERT_TRUE(Write("C:\\img\\SHA256SUMS", "the manifest's own"));
        platform::AtomicFile dropped;
        ASSERT_TRUE(dropped.Create("C:\\img\\e\\dropped.txt"));
        ASSERT_TRUE(dropped.Write("abc", 3));
        dropped.Abandon();
        // Bytes that go into the file around the tap cannot be vouched for.
        platform::AtomicFile around;
        ASSERT_TRUE(around.Create("C:\\img\\e\\around.txt"));
        ASSERT_TRUE(around.file().Write("zzz", 3));
        ASSERT_TRUE(around.Commit());
    }
    const ImageHasher::Result r = hasher.Finish();
    ASSERT_EQ(r.files.size(), 3u);
    EXPECT_EQ(r.files.at("e/d/copy.dat").hex, Sha256Hex(big.data(), big.size()));
    EXPECT_EQ(r.files.at("e/lost.dat").hex, r.files.at("e/d/copy.dat").hex);
    EXPECT_EQ(r.files.at("e/d/copy.dat").length, static_cast<long long>(big.size()));
    EXPECT_EQ(r.files.at("e/first.txt").hex, Sha256Hex("two", 3));
    ASSERT_EQ(r.problems.size(), 1u);
    EXPECT_HAS(r.problems[0], "e/around.txt");
    EXPECT_EQ(ReadText(root + "/e/d/copy.dat"), big);  // the copy itself is whole
}

// Files hashed on different threads: a large file withdrawn and written again small, perhaps
// hashed after its successor, leaves the successor; one withdrawn for good leaves nothing.
TEST_F(ImageHasherTest, TheLastCommitCountsWhicheverFileIsHashedFirst) {
    const std::string root = driveC() + "/img";
    fs::create_directories(root + "/e");
    const std::string big(24 * platform::WriteTap::kBufferBytes, 'b');
    WriteText(driveC() + "/big.dat", big);
    ImageHasher hasher(root);
    {
        platform::ScopedWriteTap tap(&hasher);
        ASSERT_NO_FATAL_FAILURE(Copy("C:\\big.dat", "C:\\img\\e\\again.dat", big.size()));
        ASSERT_TRUE(Write("C:\\img\\e\\gone.dat", "gone"));
        ASSERT_TRUE(platform::WithdrawWrittenFile("C:\\img\\e\\again.dat"));
        ASSERT_TRUE(platform::WithdrawWrittenFile("C:\\img\\e\\gone.dat"));
        ASSERT_TRUE(Write("C:\\img\\e\\again.dat", "small"));
    }
    const ImageHasher::Result r = hasher.Finish();
    ASSERT_EQ(r.files.size(), 1u);
    EXPECT_EQ(r.files.at("e/again.dat").hex, Sha256Hex("small", 5));
    EXPECT_TRUE(r.problems.empty());
}

// A copy that fails half-way (the file may grow no further) hands nothing complete to the
// hashing: the file is abandoned, nothing is listed, and no handle on it stays open.
TEST_F(ImageHasherTest, ACopyThatFailsHalfWayLeavesNothingListedAndNoHandleOpen) {
    const std::string root = driveC() + "/img";
    fs::create_directories(root + "/e");
    WriteText(driveC() + "/big.dat", std::string(3 * platform::WriteTap::kBufferBytes, 'h'));
    const int code = ExitOfChild([&] {
        const std::size_t before = OpenHandles();
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{platform::WriteTap::kBufferBytes, platform::WriteTap::kBufferBytes};
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0)
            return 77;
        ImageHasher hasher(root);
        {
            platform::ScopedWriteTap tap(&hasher);
            platform::File in;
            platform::AtomicFile copy;
            if (!in.Open("C:\\big.dat", platform::File::kRead) ||
                !copy.Create("C:\\img\\e\\big.dat") || copy.CopyFrom(in).ok())
                return 1;
            copy.Abandon();
        }
        const ImageHasher::Result r = hasher.Finish();
        if (!r.files.empty() || !r.problems.empty() || !r.leftOut.empty())
            return 2;
        return OpenHandles() == before ? 0 : 3;
    });
    EXPECT_EQ(code, 0);
}

class ImageFilesTest : public TempPrefixTest {};

TEST_F(ImageFilesTest, AFileThatCannotBeHadSaysWhichAndWhy) {
    const std::string root = prefix() + "/image";
    fs::create_directories(root + "/folder");
    // A link where the manifest belongs: listed, but never followed.
    fs::create_directory_symlink("folder", root + "/SHA256SUMS");
    WriteText(root + "/big.dat", std::string(100, 'x'));
    const auto image = OpenFolderImage(root);

    const auto tooLarge = image->ReadWhole("big.dat", 99);
    ASSERT_FALSE(tooLarge);
    EXPECT_EQ(tooLarge.error().kind, Kind::kDamaged);
    EXPECT_EQ(tooLarge.error().Said(), "big.dat is too large");
    ASSERT_TRUE(image->ReadWhole("big.dat", 100));
    EXPECT_EQ(image->ReadWhole("big.dat", 100)->size(), 100u);

    const auto outside = image->ReadWhole("../image/big.dat");
    ASSERT_FALSE(outside);
    EXPECT_EQ(outside.error().kind, Kind::kRefused);
    EXPECT_EQ(image->ReadWhole("gone.dat").error().kind, Kind::kNotFound);

    EXPECT_EQ(VerifyImage(*image, {}).manifestProblem, "SHA256SUMS cannot be opened");
}
