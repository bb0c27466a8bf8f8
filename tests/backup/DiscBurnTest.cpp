// The window's side of disc writing over a writer the test plays: the disc's space and the write
// speeds offered, the write's options in their order, what each event does to the window, the
// clean-up after a completed write, and erase with its refusals.
#include <filesystem>

#include "BackupFixture.h"
#include "FakeDiscWriter.h"
#include "PseudoDrives.h"
#include "backup/TargetPicker.h"
#include "backup/disc/DiscBurn.h"
#include "backup/disc/DiscReadBack.h"
#include "backup/disc/WriterErrors.h"
#include "share/Has.h"

namespace fs = std::filesystem;

class DiscBurnTest : public BackupFixture {
  protected:
    void SetUp() override {
        BackupFixture::SetUp();
        ctx.m_host.basePath = "C:\\base\\";
        ctx.m_disc.writer = &writer;
        ctx.m_target.kind = backup::TargetKind::kDisc;
        // Notices and questions land in the writer's record too, so that their order against
        // its calls shows.
        view.onBox = [this](const std::string& text) { writer.calls.push_back("box " + text); };
    }
    std::string Text(const char* key) { return app.GetLanguageText("CDWRITER", key); }
    std::string Said(const char* key) { return app.GetLanguageText("BACKUP", key); }
    std::string Status() { return view.statusText; }
    void Event(int id, long a = 0, long b = 0, long c = 0, const std::string& text = "") {
        ctx.m_burner.OnWriterEvent({id, a, b, c, text, ""});
    }
    FakeDiscWriter writer;
};

TEST_F(DiscBurnTest, TheWritesOptionsInTheirOrderAndTheFlagsBeforeItStarts) {
    ctx.m_run.running = 1;
    ctx.m_burner.HandOverDiscImage();
    EXPECT_EQ(writer.calls,
              (std::vector<std::string>{"add \\ C:\\QuillonTemp\\*.*", "19=1", "16=1",
                                        "label QORBACKUP", "19=1", "16=1", "label QORBACKUP",
                                        "12=0", "prepare", "20=0", "14=1", "11=0", "write"}));
    EXPECT_EQ(ctx.m_disc.writing, 1);
    EXPECT_EQ(ctx.m_run.running, 0);
    EXPECT_EQ(writer.readBackCheck, nullptr);  // an image without a manifest: nothing to hold

    // With the manifest the pass wrote, the written disc is read back against it.
    WriteText(driveC() + "/QuillonTemp/SHA256SUMS", "");
    ctx.m_run.running = 1;
    ctx.m_burner.HandOverDiscImage();
    EXPECT_NE(writer.readBackCheck, nullptr);
    EXPECT_EQ(writer.readBackCheck, ctx.m_disc.readBack.get());

    // A write that does not start says so; the writer's own event ends the wait.
    writer.calls.clear();
    writer.writeOk = false;
    ctx.m_run.running = 1;
    ctx.m_burner.StartDiscWrite();
    EXPECT_EQ(writer.calls.back(), "box " + Text("A010020"));
    // No disc: nothing is written, and nothing waits for a write that will not come.
    writer.calls.clear();
    writer.mediaType = kMediaNoDisc;
    ctx.m_run.running = 1;
    view.activity = backup::Activity::kPass;
    ctx.m_burner.StartDiscWrite();
    EXPECT_EQ(writer.calls, std::vector<std::string>{"box " + Text("A010019")});
    EXPECT_EQ(ctx.m_run.running, 0);
    EXPECT_EQ(view.activity, backup::Activity::kIdle);

    // A backup cancelled while it was built hands nothing over and goes back to idle.
    writer.calls.clear();
    ctx.m_run.running = 0;
    view.activity = backup::Activity::kPass;
    ctx.m_burner.HandOverDiscImage();
    EXPECT_EQ(writer.calls, std::vector<std::string>{});
    EXPECT_EQ(view.meter, backup::Meter::kDiscSpace);
    EXPECT_EQ(view.activity, backup::Activity::kIdle);  // Cancel enabled
}

TEST_F(DiscBurnTest, StatusAndProgressEvents) {
    const std::pair<int, const char*> statuses[] = {
        {9, "A010008"}, {10, "A010009"}, {14, "A010012"}, {17, "A010013"}, {20, "A010014"}};
    for (const auto& [id, key] : statuses) {
        Event(id, 7, 8);
        EXPECT_EQ(Status(), Text(key)) << id;
    }
    Event(22, 5);
    EXPECT_EQ(Status(), Text("A010015") + " - 05%");
    Event(16, 0, 50, 200);
    Event(16, 0, 50, 0);  // no total: the bar stays
    EXPECT_EQ(view.progress, std::vector<int>{25});
    Event(6);
    Event(18, 1, 2);
    EXPECT_EQ(view.messages.size(), 0u);
}

TEST_F(DiscBurnTest, ACompletedWriteClearsTheImageTheScheduleAndTheWorkingFolder) {
    WriteText(driveC() + "/QuillonTemp/2010_05_23=10,00~10,01/BackupInfo.dat", "x");
    WriteText(driveC() + "/base/Reserved/reserve.dat", "x");
    ctx.m_schedule.rows = {"2010-05-23 - 10:00 ~ 10:01"};
    ctx.m_schedule.totalKB = 900;
    ctx.m_disc.writing = 1;
    view.viewerChosen = true;  // the operator ticked it
    writer.calls.clear();
    Event(13);
    EXPECT_FALSE(fs::exists(driveC() + "/QuillonTemp"));
    EXPECT_FALSE(fs::exists(driveC() + "/base/Reserved"));
    EXPECT_TRUE(view.listRows.empty());
    EXPECT_EQ(ctx.m_schedule.totalKB, 0u);
    EXPECT_EQ(ctx.m_disc.writing, 0);
    EXPECT_EQ(Status(), "");
    EXPECT_TRUE(view.viewerOffered);
    EXPECT_FALSE(view.viewerChosen);
    // The drive is let go while the box is up and taken back after.
    const std::vector<std::string> tail(writer.calls.end() - 3, writer.calls.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"drive state 0", "box " + Text("A010011"),
                                              "drive state 1"}));
    // Read back before event 13 came, and signed: the box says both.
    ctx.m_disc.readBack = std::make_shared<DiscReadBack>("");
    ctx.m_run.keyFingerprint = "SHA256:abcd";
    ctx.m_disc.writing = 1;
    Event(13);
    EXPECT_EQ(view.messages.back().text,
              Text("A010011") + "\n" + Said("Q010011") + "\n" + Said("Q010012") + " SHA256:abcd");
    EXPECT_EQ(ctx.m_disc.readBack, nullptr);
}

// A disc written without a minute its recording lacked: the entry it holds whole leaves the
// schedule, the damaged one stays, and the box says what the disc lacks.
TEST_F(DiscBurnTest, ACompletedWriteKeepsAnEntryItsRecordingLeftIncomplete) {
    ctx.m_host.basePath = "C:\\Prog\\";
    RecordDay(600, 604, 0);
    Add("10", "00", "10", "02", {0});
    Add("10", "03", "10", "04", {0});
    const std::string damage = "minute 10:01 not copied: its data file is missing";
    ctx.m_run.report.Damaged("2010_05_23=10,00~10,02", damage);
    ctx.m_run.report.EntryDone(0, false, damage, true);
    ctx.m_run.report.EntryDone(1, true);
    ctx.m_disc.writing = 1;
    Event(13);
    EXPECT_EQ(view.listRows, std::vector<std::string>{"2010-05-23 - 10:00 ~ 10:02"});
    EXPECT_HAS(view.messages.back().text, "2010-05-23 - 10:00 ~ 10:02: " + damage);
}

TEST_F(DiscBurnTest, AnEndedWriteAndAnErrorGoBackToIdleWithTheirWords) {
    ctx.m_disc.writing = 1;
    view.activity = backup::Activity::kPass;
    WriteText(driveC() + "/QuillonTemp/x", "kept");
    Event(12);
    EXPECT_EQ(ctx.m_disc.writing, 0);
    EXPECT_EQ(view.messages.back().text, Text("A010010"));
    EXPECT_EQ(view.meter, backup::Meter::kDiscSpace);
    EXPECT_TRUE(fs::exists(driveC() + "/QuillonTemp/x"));  // only a completed write clears it

    ctx.m_disc.writing = 1;
    writer.calls.clear();
    Event(21, 1033);
    EXPECT_EQ(ctx.m_disc.writing, 0);
    EXPECT_EQ(writer.calls,
              (std::vector<std::string>{"box A disc is not present", "drive state 0"}));
    EXPECT_EQ(view.messages.back().severity, backup::Severity::kInfo);
}

TEST_F(DiscBurnTest, ADiscThatDoesNotReadBackAsItsImageIsAFailedBackup) {
    WriteText(driveC() + "/QuillonTemp/SHA256SUMS", "");
    ctx.m_schedule.rows = {"2010-05-23 - 10:00 ~ 10:01"};
    ctx.m_run.running = 1;
    ctx.m_burner.HandOverDiscImage();
    Event(21, kReadBackFailed, 0, 0, "CHANGED          e/x.dat");
    const std::string words = Said("Q010010");
    EXPECT_NE(words, "");
    EXPECT_EQ(Status(), words);
    EXPECT_EQ(view.messages.back().text, words + "\nCHANGED          e/x.dat");
    EXPECT_EQ(view.messages.back().severity, backup::Severity::kError);
    EXPECT_EQ(ctx.m_disc.writing, 0);
    EXPECT_EQ(ctx.m_disc.readBack, nullptr);
    // Nothing is cleared: the image and the schedule stay for another disc.
    EXPECT_TRUE(fs::exists(driveC() + "/QuillonTemp/SHA256SUMS"));
    EXPECT_EQ(ctx.m_schedule.rows.size(), 1u);
}

TEST_F(DiscBurnTest, EraseChecksInTheirOrderThenErasesAndReports) {
    ctx.m_run.running = 1;
    ctx.m_burner.OnErase();
    EXPECT_EQ(view.messages.back().text, Said("M010016"));
    ctx.m_run.running = 0;
    ctx.m_disc.writing = 1;
    ctx.m_burner.OnErase();
    EXPECT_EQ(view.messages.back().text, Said("M010017"));
    ctx.m_disc.writing = 0;
    view.answerYes = false;
    ctx.m_burner.OnErase();
    EXPECT_EQ(view.messages.back().text, Said("M010025") + "  " + Said("M010026"));
    view.answerYes = true;
    for (const auto& [type, features, key] :
         {std::tuple{kMediaNoDisc, std::vector<long>{7}, "A010003"},
          std::tuple{2L, std::vector<long>{7}, "A010004"},
          std::tuple{253L, std::vector<long>{}, "A010005"}}) {
        writer.mediaType = type;
        writer.features = features;
        ctx.m_burner.OnErase();
        EXPECT_EQ(view.messages.back().text, Text(key)) << key;
        EXPECT_FALSE(view.viewerOffered);
    }
    writer.features = {39};
    writer.eraseOk = false;
    writer.calls.clear();
    ctx.m_burner.OnErase();
    EXPECT_EQ(writer.calls,
              (std::vector<std::string>{"box " + Said("M010025") + "  " + Said("M010026"), "erase",
                                        "drive state 0", "box " + Text("A010006")}));
    EXPECT_EQ(view.activity, backup::Activity::kIdle);
    writer.eraseOk = true;
    ctx.m_burner.OnErase();
    EXPECT_EQ(view.activity, backup::Activity::kDiscBusy);  // Cancel disabled while it erases
    writer.calls.clear();
    Event(11);
    EXPECT_EQ(writer.calls.front(), "refresh");
    const std::vector<std::string> tail(writer.calls.end() - 3, writer.calls.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"drive state 0", "box " + Text("A010007"),
                                              "drive state 1"}));
    EXPECT_EQ(view.activity, backup::Activity::kIdle);  // Cancel enabled

    writer.initOk = false;
    EXPECT_FALSE(ctx.m_burner.InitDiscWriter());
    EXPECT_EQ(view.messages.back().text, Text("A010001"));
}

// The capacity bar: the part used, the part the schedule will use, the free megabytes in words,
// Erase for a rewritable disc only; a disc without capacity is full, and no disc shows nothing.
TEST_F(DiscBurnTest, UsedAndPlannedSpaceAndTheFreeMegabytes) {
    MapPseudoDrive(prefix(), 'D', prefix() + "/d.iso");  // a writer of 700 MB, rewritable
    for (const auto& [freeMB, percent] : {std::pair{700.0, 0}, {350.0, 50}, {0.0, 100}}) {
        writer.freeMB = freeMB;
        ctx.m_targets.TellDiscSpace(true);
        EXPECT_EQ(view.meter, backup::Meter::kDiscSpace);
        EXPECT_EQ(view.discSpace.usedPercent, percent);
        EXPECT_EQ(view.discSpace.text,
                  Said("M010023") + " : " + std::to_string(static_cast<int>(freeMB)) + "M");
    }
    EXPECT_TRUE(view.eraseOffered);
    writer.mediaType = 2;  // write-once
    ctx.m_targets.TellDiscSpace(true);
    EXPECT_FALSE(view.eraseOffered);
    // 350 MB of 700 used, 175 MB planned.
    writer.freeMB = 350;
    ctx.m_schedule.totalKB = 175 * 1024;
    ctx.m_targets.TellDiscSpace(true);
    EXPECT_EQ(view.discSpace.afterBackupPercent, 75);
    writer.capacityMB = 0;
    ctx.m_targets.TellDiscSpace(true);
    EXPECT_EQ(view.discSpace.usedPercent, 100);
    ctx.m_targets.TellDiscSpace(false);
    EXPECT_EQ(view.meter, backup::Meter::kNone);
    EXPECT_FALSE(view.eraseOffered);
}

// The write speeds a disc writer offers, from its maximum down.
TEST(WriteSpeedItemsTest, StepsOfFourToEightThenHalvingAndMaxBelowOneStep) {
    auto labels = [](const std::vector<backup::WriteSpeedItem>& items) {
        std::vector<std::string> out;
        for (const auto& i : items)
            out.push_back(i.label + "=" + std::to_string(i.data));
        return out;
    };
    EXPECT_EQ(labels(WriteSpeedItems(16 * 1380, 0)),
              (std::vector<std::string>{"16 x=22080", "12 x=16560", "8 x=11040", "4 x=5520",
                                        "2 x=2760"}));
    EXPECT_EQ(labels(WriteSpeedItems(1000, 0)), (std::vector<std::string>{"MAX=0"}));
    EXPECT_EQ(WriteSpeedItems(48 * 176, 8).size(), 13u);  // 48 to 8 by four, then 4 and 2
    // Six steps: 6 x with the maximum, 3 x with it divided by 3, then 1.5 x (printed 2).
    EXPECT_EQ(labels(WriteSpeedItems(6 * 1380, 0)),
              (std::vector<std::string>{"6 x=8280", "3 x=2760", "2 x=1840"}));
}
