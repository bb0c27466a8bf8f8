// The media copy of the finisher and the receiving stamp: the bytes up to where it is told, in
// order, each hashed once, and a read or write that fails stops it saying which and where.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "TestEnv.h"
#include "integrity/Sha256.h"
#include "mp4/CopyHashing.h"

using namespace mp4;

namespace {

constexpr std::uint64_t kMiB = std::uint64_t{1} << 20;

std::string RandomBytes(std::size_t count) {
    std::mt19937 random(7);
    std::string bytes(count, '\0');
    for (char& c : bytes)
        c = static_cast<char>(random());
    return bytes;
}

// Fails every read that reaches past `good`.
class ShortSource : public ByteSource {
  public:
    ShortSource(const std::string& bytes, std::uint64_t good) : inner_(bytes), good_(good) {}
    std::uint64_t Size() const override { return inner_.Size(); }
    bool ReadAt(std::uint64_t offset, void* out, std::size_t count) override {
        return offset + count <= good_ && inner_.ReadAt(offset, out, count);
    }

  private:
    MemorySource inner_;
    std::uint64_t good_;
};

}  // namespace

class CopyHashingTest : public TempPrefixTest {
  protected:
    std::string Target() const { return prefix() + "/copy.mp4"; }
};

TEST_F(CopyHashingTest, CopiesAndHashesThePrefixAcrossSlices) {
    const std::string bytes = RandomBytes(static_cast<std::size_t>(2 * kMiB + kMiB / 2 + 7));
    MemorySource source(bytes);
    // Two whole slices and a part of the third; the rest of the source stays behind.
    for (const std::uint64_t to : {2 * kMiB + 3, kMiB, std::uint64_t{5}, std::uint64_t{0}}) {
        SCOPED_TRACE(to);
        platform::AtomicFile out;
        ASSERT_TRUE(out.Create(Target()));
        integrity::Sha256 hash;
        const CopyResult copied = CopyHashing(source, out, to, hash);
        ASSERT_TRUE(copied.ok());
        EXPECT_EQ(copied.at, to);
        ASSERT_TRUE(out.Commit());
        const std::string prefixBytes = bytes.substr(0, static_cast<std::size_t>(to));
        EXPECT_TRUE(ReadText(Target()) == prefixBytes);
        EXPECT_EQ(hash.HexFinal(), integrity::Sha256Hex(prefixBytes.data(), prefixBytes.size()));
    }
}

TEST_F(CopyHashingTest, AFailedReadOrWriteStopsTheCopyAndSaysWhere) {
    const std::string bytes = RandomBytes(static_cast<std::size_t>(3 * kMiB));
    {
        ShortSource source(bytes, 2 * kMiB + 100);
        platform::AtomicFile out;
        ASSERT_TRUE(out.Create(Target()));
        integrity::Sha256 hash;
        const CopyResult copied = CopyHashing(source, out, 3 * kMiB, hash);
        EXPECT_EQ(copied.stop, CopyResult::Stop::kRead);
        EXPECT_EQ(copied.at, 2 * kMiB);
        // What was read before it was hashed, and nothing after.
        EXPECT_EQ(hash.HexFinal(), integrity::Sha256Hex(bytes.data(), 2 * kMiB));
    }
    EXPECT_FALSE(std::filesystem::exists(Target()));
    {
        MemorySource source(bytes);
        platform::AtomicFile out;
        ASSERT_TRUE(out.Create(Target()));
        // The temporary file open for reading only: every write to it fails.
        ASSERT_TRUE(out.file().OpenResolved(out.tempHostPath(), platform::File::kRead));
        integrity::Sha256 hash;
        const CopyResult copied = CopyHashing(source, out, 3 * kMiB, hash);
        EXPECT_EQ(copied.stop, CopyResult::Stop::kWrite);
        EXPECT_EQ(copied.at, 0u);
        EXPECT_FALSE(copied.written.ok());
        EXPECT_NE(copied.written.code(), 0u);
    }
    EXPECT_FALSE(std::filesystem::exists(Target()));
}
