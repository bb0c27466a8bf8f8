// A copy between files in steps, a handle that reads back a file opened only for writing, and
// the bytes a write tap is given for a copy made inside the system: the same bytes, in order,
// wherever they were read back from.
#include <filesystem>
#include <memory>
#include <string>

#include "TestEnv.h"
#include "platform/AtomicFile.h"
#include "platform/File.h"
#include "platform/WriteTap.h"

namespace fs = std::filesystem;
using platform::File;

namespace {

std::string Pattern(std::size_t size) {
    std::string s(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        s[i] = static_cast<char>(i * 31 + i / 4093);
    return s;
}

// Collects what the tap is given through the default read-back, file by file.
class CollectingTap : public platform::WriteTap {
  public:
    int Opened(const std::string&) override {
        files.emplace_back();
        return static_cast<int>(files.size() - 1);
    }
    char* TakeBuffer() override { return buffer.get(); }
    void Hand(int handle, char* b, std::size_t count) override {
        files[static_cast<std::size_t>(handle)].append(b, count);
    }
    void Closed(int handle, bool committed, long long length, platform::FileId) override {
        closedLength = committed ? length : -1;
        (void)handle;
    }
    std::unique_ptr<char[]> buffer = std::make_unique<char[]>(kBufferBytes);
    std::vector<std::string> files;
    long long closedLength = -2;
};

}  // namespace

class FileCopyTest : public TempPrefixTest {};

TEST_F(FileCopyTest, StepsOfAnySizeCopyTheWholeFileAndTheReaderSeesWhatWasWritten) {
    const std::string bytes = Pattern(3 * 1048576 + 777);
    WriteText(driveC() + "/in.bin", bytes);
    File in, out;
    ASSERT_TRUE(in.Open("C:\\in.bin", File::kRead));
    ASSERT_TRUE(out.Open("C:\\out.bin", File::kCreateNew));
    // The writing handle cannot read; the second one can, also once the name is gone.
    File reader = out.OpenedForReading();
    ASSERT_TRUE(reader.IsOpen());
    platform::FileCopy copy(in, out);
    long long total = 0, steps = 0;
    for (long long n; (n = copy.Step(1000000)) > 0; ++steps) {
        EXPECT_LE(n, 1000000);
        total += n;
    }
    EXPECT_EQ(total, static_cast<long long>(bytes.size()));
    EXPECT_GE(steps, 4);
    fs::remove(driveC() + "/out.bin");
    std::string back(bytes.size(), '\0');
    EXPECT_EQ(reader.ReadAt(back.data(), back.size(), 0), static_cast<long long>(bytes.size()));
    EXPECT_EQ(back, bytes);
    EXPECT_FALSE(File().OpenedForReading().IsOpen());
}

TEST_F(FileCopyTest, ATapSeesACopiedFileAsItsBytesInOrderAfterWhatWasWrittenBefore) {
    const std::string head = "header:", body = Pattern(9 * 1048576 + 5);
    WriteText(driveC() + "/in.bin", body);
    CollectingTap tap;
    {
        platform::ScopedWriteTap scope(&tap);
        File in;
        ASSERT_TRUE(in.Open("C:\\in.bin", File::kRead));
        platform::AtomicFile out;
        ASSERT_TRUE(out.Create("C:\\out.bin"));
        ASSERT_TRUE(out.Write(head.data(), head.size()));
        ASSERT_EQ(out.CopyFrom(in), static_cast<long long>(body.size()));
        ASSERT_TRUE(out.Commit());
    }
    ASSERT_EQ(tap.files.size(), 1u);
    EXPECT_TRUE(tap.files[0] == head + body);
    EXPECT_EQ(tap.closedLength, static_cast<long long>(head.size() + body.size()));
    EXPECT_EQ(ReadText(driveC() + "/out.bin"), head + body);
}
