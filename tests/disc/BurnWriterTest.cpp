// The disc writer over pseudo-drives that act as real media: what it says of each medium, the
// image it writes, and the media that must refuse a write, take an erase or stop mid-write.
#include <condition_variable>
#include <filesystem>
#include <initializer_list>
#include <map>
#include <mutex>

#include "PseudoDrives.h"
#include "backup/disc/DiscReadBack.h"
#include "backup/disc/WriterErrors.h"
#include "disc/BurnWriter.h"
#include "share/Has.h"

namespace fs = std::filesystem;

namespace {

class EventLog : public IDiscWriterEvents {
  public:
    void OnWriterEvent(const WriterEvent& e) override {
        std::lock_guard<std::mutex> lock(mutex_);
        events.push_back(e);
        changed_.notify_all();
    }
    // Waits (bounded only against a hang) for the first of the events with these ids.
    bool WaitForAny(std::initializer_list<int> ids) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::milliseconds(kHangGuardMs), [&] {
            for (int id : ids)
                if (Find(id))
                    return true;
            return false;
        });
    }
    bool WaitFor(int id) { return WaitForAny({id}); }
    void Clear() {
        std::lock_guard<std::mutex> lock(mutex_);
        events.clear();
    }
    bool Seen(int id) { return Last(id).id == id; }
    WriterEvent Last(int id) {
        std::lock_guard<std::mutex> lock(mutex_);
        const WriterEvent* e = Find(id);
        return e ? *e : WriterEvent{};
    }
    std::vector<WriterEvent> events;

  private:
    const WriterEvent* Find(int id) const {
        for (auto it = events.rbegin(); it != events.rend(); ++it)
            if (it->id == id)
                return &*it;
        return nullptr;
    }
    std::mutex mutex_;
    std::condition_variable changed_;
};

class BurnWriterTest : public TempPrefixTest {
  protected:
    void SetUp() override {
        TempPrefixTest::SetUp();
        discs = prefix() + "/discs";
        fs::create_directories(discs);
        // What a backup image holds: entry folders whose names need Joliet or Rock Ridge.
        source = driveC() + "/QuillonTemp";
        WriteText(source + "/2010_05_23=14,00~15,30/20100523/201005231400N.dat",
                  std::string(300000, 'p'));
        WriteText(source + "/2010_05_23=14,00~15,30/BackupInfo.dat", std::string(2280, 'i'));
        WriteText(source + "/BackupViewer/Viewer.ini", "[Viewer]\n");
        writer = std::make_unique<disc::BurnWriter>([](std::function<void()> f) { f(); });
        writer->SetEventSink(&log);
    }
    void TearDown() override {
        writer.reset();
        TempPrefixTest::TearDown();
    }
    // The drive table as given, the writer started on it and its only drive selected.
    void Use(const std::string& media, int capacityMB = 0, const std::string& file = "dvd.iso") {
        MapPseudoDrive(prefix(), 'D', file.empty() ? "" : discs + "/" + file, media, capacityMB);
        ASSERT_TRUE(writer->InitializeWriter(0));
        ASSERT_EQ(writer->GetDriveCount(), 1);
        EXPECT_EQ(writer->GetDriveLetter(0), "D");
        EXPECT_EQ(writer->IsWriterDrive(0), 1);
        ASSERT_TRUE(writer->SelectDrive(0));
    }
    BOOL Write() {
        writer->ResetImage(1);
        writer->AddFiles("\\", "C:\\QuillonTemp\\*.*");
        writer->SetVolumeLabel("QORBACKUP");
        return writer->WriteDisc();
    }
    double MB(long size) { return writer->SizeToBytes(size, 1) / 1048576.0; }
    // What a stopped write (or each image) left is erased, so that the next write starts blank.
    void EraseIfWritten() {
        if (writer->GetDiscStatus() != 0) {
            ASSERT_TRUE(writer->EraseDisc(1));
            ASSERT_TRUE(log.WaitFor(11));
        }
    }

    std::string discs, source;
    EventLog log;
    std::unique_ptr<disc::BurnWriter> writer;
};

}  // namespace

TEST_F(BurnWriterTest, EachMediumHasItsTypeClassAndUsualCapacity) {
    const std::map<std::string, std::pair<long, double>> media = {
        {"dvd+rw", {1, 4482}}, {"dvd+r", {2, 4482}},  {"dvd-rw", {3, 4482}},
        {"dvd-r", {0, 4482}},  {"cd-rw", {253, 700}}, {"cd-r", {252, 700}},
    };
    for (const auto& [name, expected] : media) {
        Use(name);
        EXPECT_EQ(writer->GetMediaType(), expected.first) << name;
        EXPECT_EQ(writer->GetDiscStatus(), 0) << name;  // a blank disc
        EXPECT_DOUBLE_EQ(MB(writer->GetCapacitySize()), expected.second) << name;
        EXPECT_DOUBLE_EQ(MB(writer->GetFreeSize()), expected.second) << name;
        EXPECT_EQ(writer->GetUsedSize(), 0) << name;
        EXPECT_EQ(writer->CheckMediaFeature(37), IsRewritableMedia(expected.first) ? 1 : 0);
    }
    Use("dvd-r", 100);
    EXPECT_DOUBLE_EQ(MB(writer->GetCapacitySize()), 100);
    EXPECT_EQ(writer->GetMaxWriteSpeed(), 16 * 1380);
    Use("cd-r");
    EXPECT_EQ(writer->GetMaxWriteSpeed(), 48 * 176);
    Use("", 0, "");  // "stdio:" alone: a drive without a disc
    EXPECT_EQ(writer->GetMediaType(), kMediaNoDisc);
    EXPECT_EQ(writer->WriteDisc(), 0);
    EXPECT_EQ(log.Last(21).a, 1033);
}

// The image is the files added, with their names and the volume id, and the written disc is read
// back against its manifest before it counts as written.
TEST_F(BurnWriterTest, TheImageIsTheFilesAddedAndIsReadBackBeforeItCountsAsWritten) {
    ASSERT_EQ(Shell("cd '" + source + "' && find . -type f ! -name SHA256SUMS -printf '%P\\n' | " +
                    "sort | xargs -d '\\n' sha256sum > SHA256SUMS"),
              0);
    std::shared_ptr<IWrittenDiscCheck> check = MakeDiscReadBack();
    ASSERT_NE(check, nullptr);
    writer->SetReadBackCheck(check.get());
    Use("dvd+rw");
    ASSERT_TRUE(Write());
    ASSERT_TRUE(log.WaitForAny({13, 21})) << log.Last(21).text;
    ASSERT_FALSE(log.Seen(21)) << log.Last(21).text;
    // Verifying comes between the last of the write and the completion.
    std::vector<int> order;
    for (const auto& e : log.events)
        if (e.id == 20 || e.id == 13 || (e.id == 22 && e.a == 100))
            order.push_back(e.id);
    EXPECT_EQ(order, (std::vector<int>{22, 20, 13}));
    EXPECT_FALSE(writer->busy());
    EXPECT_TRUE(log.Seen(9));
    const WriterEvent progress = log.Last(16);
    EXPECT_EQ(progress.b, progress.c);  // done of total at the end
    EXPECT_EQ(VolumeId(discs + "/dvd.iso"), "QORBACKUP");
    const std::string out = prefix() + "/read";
    ASSERT_TRUE(ExtractIso(discs + "/dvd.iso", out));
    EXPECT_EQ(FilesBelow(out), FilesBelow(source));
    // Written, the disc holds data: rewritable, it asks for an erase first.
    EXPECT_EQ(writer->GetDiscStatus(), 2);
    EXPECT_GT(writer->GetUsedSize(), 0);
    EXPECT_LT(writer->GetFreeSize(), writer->GetCapacitySize());

    // The image folder changed after its manifest was made: the disc holds what the manifest
    // does not vouch for, and the write is a failure of its own kind.
    WriteText(source + "/BackupViewer/Viewer.ini", "[Viewer]\nchanged\n");
    ASSERT_TRUE(writer->EraseDisc(1));
    ASSERT_TRUE(log.WaitFor(11));
    EXPECT_EQ(writer->GetDiscStatus(), 0);  // erased, it is blank again
    EXPECT_EQ(writer->GetUsedSize(), 0);
    log.Clear();
    ASSERT_TRUE(Write());
    ASSERT_TRUE(log.WaitFor(21));
    EXPECT_FALSE(log.Seen(13));
    EXPECT_EQ(log.Last(21).a, kReadBackFailed);
    EXPECT_HAS(log.Last(21).text, "CHANGED          BackupViewer/Viewer.ini");
    EXPECT_FALSE(writer->busy());
}

TEST_F(BurnWriterTest, AWriteOnceDiscWithDataAndATooSmallDiscRefuseBeforeWriting) {
    Use("dvd-r");
    ASSERT_TRUE(Write());
    ASSERT_TRUE(log.WaitFor(13));
    const std::string first = ReadText(discs + "/dvd.iso");
    EXPECT_EQ(writer->EraseDisc(1), 0);  // write-once
    EXPECT_EQ(Write(), 0);
    EXPECT_EQ(log.Last(21).a, 1032);
    EXPECT_TRUE(ReadText(discs + "/dvd.iso") == first);

    // 300 KB of pictures do not go onto a disc of 0 MB... of 1 MB with 2 MB of them.
    WriteText(source + "/big.dat", std::string(2 << 20, 'b'));
    Use("cd-r", 1, "cd.iso");
    EXPECT_EQ(Write(), 0);
    EXPECT_EQ(log.Last(21).a, 1021);
    EXPECT_EQ(GetWriterErrorText(log.Last(21).a),
              "Error trying to write past the end of the media");
    EXPECT_EQ(fs::file_size(discs + "/cd.iso"), 0u);
}

TEST_F(BurnWriterTest, AnAbortEndsTheWriteUnderWayOrAboutToStartWithEventTwelveAndNoOther) {
    WriteText(source + "/big.dat", std::string(12 << 20, 'b'));
    Use("dvd+rw");
    writer->SetWriteSpeed(1380);  // 1x: long enough to stop halfway
    ASSERT_TRUE(Write());
    ASSERT_TRUE(log.WaitFor(16));
    writer->AbortWrite();
    ASSERT_TRUE(log.WaitFor(12));
    EXPECT_FALSE(log.Seen(13));
    writer->WaitIdle();
    EXPECT_FALSE(writer->busy());
    EXPECT_EQ(writer->GetMediaType(), 1);

    // The dialog counts a write from its start: a Cancel then stops this write...
    log.Clear();
    EraseIfWritten();
    writer->AbortWrite();
    ASSERT_TRUE(Write());
    ASSERT_TRUE(log.WaitForAny({12, 13}));
    EXPECT_FALSE(log.Seen(13));
    writer->WaitIdle();

    // ... and not the ones after it: they write the whole image, and none reports a write that
    // libburn refused as done.
    writer->SetWriteSpeed(0);
    for (int i = 0; i < 3; ++i) {
        log.Clear();
        EraseIfWritten();
        ASSERT_TRUE(Write());
        ASSERT_TRUE(log.WaitForAny({13, 21, 12})) << i;
        ASSERT_FALSE(log.Seen(21) || log.Seen(12)) << i << ": " << log.Last(21).text;
        writer->WaitIdle();
        EXPECT_GT(fs::file_size(discs + "/dvd.iso"), 12u << 20) << i;
        EXPECT_EQ(VolumeId(discs + "/dvd.iso"), "QORBACKUP") << i;
    }
}

TEST_F(BurnWriterTest, OneWriterAtATimeOnADisc) {
    Use("dvd+rw");
    disc::BurnWriter second([](std::function<void()> f) { f(); });
    ASSERT_TRUE(second.InitializeWriter(0));
    EXPECT_EQ(second.SelectDrive(0), 0);  // the first holds it
    writer.reset();
    EXPECT_EQ(second.SelectDrive(0), 1);
}

TEST(WriterErrors, TheTableEndsAndFailuresAsCodes) {
    EXPECT_EQ(GetWriterErrorText(999), "Unknown error");
    EXPECT_EQ(GetWriterErrorText(1056), "Unknown error");
    EXPECT_EQ(GetWriterErrorText(-1), "Unknown error");
    EXPECT_EQ(GetWriterErrorText(1000), "No additional error data was reported");
    EXPECT_EQ(GetWriterErrorText(1055), "A format is in progress causing operation failure");
    EXPECT_EQ(disc::WriterErrorCode("Failed to write: No space left on device", 0), 1021);
    EXPECT_EQ(disc::WriterErrorCode("write failed", 28), 1021);  // ENOSPC
    EXPECT_EQ(disc::WriterErrorCode("Drive not ready", 0), 1002);
    EXPECT_EQ(disc::WriterErrorCode("Drive and media state unsuitable for blanking", 0), 1036);
    EXPECT_EQ(disc::WriterErrorCode("Media not blank", 0), 1028);
    EXPECT_EQ(disc::WriterErrorCode("SCSI error on write", 0), 1003);
    EXPECT_EQ(disc::WriterErrorCode("something else", 0), 1005);
}
