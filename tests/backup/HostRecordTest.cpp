// The host's messages: its record puts the session in remote mode with the host's context, read
// within the block's bounds; the drive list names the roots from D: on; a download's first record
// shows its progress and each later one moves it and names the file.
#include <cstring>

#include "BackupFixture.h"
#include "backup/HostMessages.h"
#include "records/HostInfo.h"

class HostRecordTest : public BackupFixture {};

TEST_F(HostRecordTest, TheRecordReplacesTheContextWithinTheBlocksBounds) {
    HostInfo h{.dateType = 4,
               .camCount = 16,
               .driveMask = 0x1C,
               .recordDriveMask = 0xFFFFFFFF,
               .language = "eng",
               .basePath = "C:\\host"};
    std::strcpy(h.cameraName[2], "Yard");
    const std::string record = EncodeHostInfo(h);
    ASSERT_EQ(record.size(), 2348u);
    auto send = [&](const std::string& block) {
        OnHostRecord(ctx.m_host, ctx.m_profile, ctx.m_link, block, true);
    };
    send(record);
    EXPECT_EQ(ctx.m_host.localMode, 0);
    EXPECT_EQ(ctx.m_host.camCount, 16);
    EXPECT_EQ(ctx.m_host.dateType, 4);
    EXPECT_EQ(ctx.m_host.recordDriveMask, 0x0FFFFFFFu);
    EXPECT_EQ(ctx.m_host.basePath, "C:\\host\\");
    EXPECT_STREQ(ctx.m_host.cameraNames[2], "Yard");

    // An unterminated text and a short block are read within their bounds.
    std::string unterminated = record;
    std::fill(unterminated.begin() + 32, unterminated.begin() + 37, 'x');
    send(unterminated);
    EXPECT_EQ(ctx.m_host.language, "xxxxx");
    send(record.substr(0, 34));  // ends inside the language
    EXPECT_EQ(ctx.m_host.language, "en");
    EXPECT_EQ(ctx.m_host.camCount, 16);
    EXPECT_EQ(ctx.m_host.basePath, "C:\\host\\");  // no base folder in the record: kept
}

TEST_F(HostRecordTest, TheDriveListAndADownloadsProgress) {
    OnDriveList(ctx.m_host, view, 0x1C);
    EXPECT_EQ(view.drives, (std::vector<std::string>{"D:\\", "E:\\"}));
    EXPECT_EQ(ctx.m_host.driveMask, 0x1Cu);

    ctx.m_target.kind = backup::TargetKind::kFolder;
    std::string progress(1040, '\0');
    std::memcpy(&progress[4], "201005231000N.dat", 17);
    progress[1028] = static_cast<char>(200);
    progress[1036] = 50;
    auto send = [&] {
        OnDownloadProgress(ctx.m_link, ctx.m_target, ctx.m_prompts, view, progress, true);
    };
    send();  // the first sets the bar up
    EXPECT_EQ(view.meter, backup::Meter::kProgress);
    EXPECT_TRUE(view.progress.empty());
    send();
    EXPECT_EQ(view.progress, std::vector<int>{25});
    EXPECT_EQ(view.statusText, app.GetLanguageText("BACKUP", "M010011") + " [201005231000N.dat]");
}
