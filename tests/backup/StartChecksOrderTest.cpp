// The OK command's checks in their order: an empty schedule, no target, then for a disc the room
// for its image on C:, the room on the disc, a disc in the drive and a blank one; for a folder its
// room and never the recordings.
#include "BackupFixture.h"
#include "FakeDiscWriter.h"
#include "PseudoDrives.h"

class StartChecksOrderTest : public BackupFixture {
  protected:
    std::string Refusal(const char* key) {
        EXPECT_EQ(ctx.m_starter.OnOK({}), key);
        EXPECT_EQ(ctx.m_run.running, 0);
        return view.messages.empty() ? std::string() : view.messages.back().text;
    }
    std::string Text(const char* key) { return app.GetLanguageText("BACKUP", key); }
    std::string Disc(const char* key) { return app.GetLanguageText("CDWRITER", key); }
    FakeDiscWriter writer;
};

TEST_F(StartChecksOrderTest, EachCheckRefusesOnlyOnceTheOnesBeforeItPassed) {
    RecordDay(600, 602, 0);
    Refusal("M010024");
    Add("10", "00", "10", "01");
    Refusal("M010027");

    MapPseudoDrive(prefix(), 'D', prefix() + "/d.iso");
    ctx.m_disc.writer = &writer;
    ASSERT_EQ(ctx.m_targets.ChooseStorageTarget("D:\\"), "");
    writer.freeMB = 0.01;
    writer.discStatus = 1;
    writer.mediaType = kMediaNoDisc;
    EXPECT_EQ(Refusal("M010028").rfind(Text("M010028") + "[" + Text("M010030") + "]\nD: - ", 0),
              0u);
    writer.freeMB = 700;
    EXPECT_EQ(Refusal("A010003"), Disc("A010003"));
    writer.mediaType = 3;
    EXPECT_EQ(Refusal("A010016"), Disc("A010016") + "\n" + Disc("A010018"));

    ASSERT_EQ(ctx.m_targets.ChooseStorageTarget("C:\\QorData"), "");
    EXPECT_EQ(Refusal("Q010004").rfind(Text("Q010004"), 0), 0u);
    const std::string tiny = MountTinyDrive('T', "size=64k");
    if (tiny.empty())
        GTEST_SKIP() << "this machine does not let the test mount a small drive";
    ASSERT_EQ(ctx.m_targets.ChooseStorageTarget("T:\\"), "");
    EXPECT_EQ(Refusal("M010028").rfind(Text("M010028") + "[" + Text("M010030") + "]\nT:", 0), 0u);

    // The image is made on C: first: C: too small comes before the disc's own room.
    ASSERT_FALSE(MountTinyDrive('C', "size=64k").empty());
    ASSERT_EQ(ctx.m_targets.ChooseStorageTarget("D:\\"), "");
    writer.freeMB = 0.01;
    EXPECT_EQ(Refusal("M010028").rfind(
                  Text("M010028") + "[" + Text("M010029") + "]\nC:\\QuillonTemp - ", 0),
              0u);
    ctx.m_disc.writer = nullptr;
}
