#include "backup/pass/BackupPackage.h"

#include <cstring>
#include <filesystem>

#include "PassTest.h"
#include "backup/pass/CopyEngine.h"
#include "backup/pass/PassPlanning.h"
#include "platform/DrivePaths.h"

namespace fs = std::filesystem;

using BackupPackageTest = BackupFixture;

TEST_F(BackupPackageTest, EntryInformationIsWrittenReadAndUpdatedInItsThreeModes) {
    fs::create_directories(driveC() + "/E");
    ctx.m_host.camCount = 16;
    ctx.m_host.recorderKind = 4;
    ctx.m_host.modelCode = 0x1648D;
    std::memset(ctx.m_host.cameraNames[5], 'n', 30);  // a name of 30 characters fills its slot
    std::strcpy(ctx.m_schedule.entryInfo.memo, "typed before Add");
    ASSERT_TRUE(AccessEntryInfo(ctx.m_host, ctx.m_schedule.entryInfo, "C:\\E", "2010052314001530",
                                kEntryInfoWrite));
    const std::string bytes = ReadText(driveC() + "/E/BackupInfo.dat");
    ASSERT_EQ(bytes.size(), 2332u);
    const DWORD head[10] = {2010, 5, 23, 14, 0, 15, 30, 16, 4, 0x1648D};
    EXPECT_EQ(std::memcmp(bytes.data(), head, sizeof head), 0);
    EXPECT_EQ(bytes.substr(40 + 5 * 31, 31), std::string(30, 'n') + '\0');
    EXPECT_EQ(std::string(bytes.data() + 2024), "typed before Add");
    EXPECT_EQ(bytes[2279], 0);

    std::memset(&ctx.m_schedule.entryInfo, 0x55, sizeof ctx.m_schedule.entryInfo);
    ASSERT_TRUE(AccessEntryInfo(ctx.m_host, ctx.m_schedule.entryInfo, "C:\\E", "", kEntryInfoRead));
    EXPECT_EQ(ctx.m_schedule.entryInfo.endMinute, 30u);
    EXPECT_STREQ(ctx.m_schedule.entryInfo.memo, "typed before Add");

    std::strcpy(ctx.m_schedule.entryInfo.memo, "changed");
    ASSERT_TRUE(
        AccessEntryInfo(ctx.m_host, ctx.m_schedule.entryInfo, "C:\\E", "", kEntryInfoUpdate));
    EXPECT_EQ(ctx.m_schedule.entryInfo.year, 0u);  // cleared after the write
    BackupInfoRecord updated{};
    ASSERT_EQ(ReadText(driveC() + "/E/BackupInfo.dat").size(), sizeof updated);
    std::memcpy(&updated, ReadText(driveC() + "/E/BackupInfo.dat").data(), sizeof updated);
    EXPECT_STREQ(updated.memo, "changed");
    EXPECT_EQ(updated.year, 2010u);

    // A short file reads as a missing one.
    WriteText(driveC() + "/E/BackupInfo.dat", "short");
    EXPECT_FALSE(
        AccessEntryInfo(ctx.m_host, ctx.m_schedule.entryInfo, "C:\\E", "", kEntryInfoRead));
    EXPECT_EQ(ctx.m_schedule.entryInfo.year, 0u);
    EXPECT_FALSE(AccessEntryInfo(ctx.m_host, ctx.m_schedule.entryInfo, "C:\\Missing",
                                 "2010052314001530", kEntryInfoWrite));
}

TEST_F(BackupPackageTest, ViewerFilesFollowTheListIntoTheTargetsViewerFolder) {
    const std::string base = driveC() + "/Prog";
    WriteText(base + "/GUIS/Viewer.lst",
              "[Count]\ncount=3\n[Files]\nfile1=Viewer.exe\nfile3=Missing.dll\n"
              "[Dest]\ndest1=\\\ndest3=\\\n");
    WriteText(base + "/Other/Viewer.exe", "viewer program");
    ctx.m_host.basePath = "C:\\Prog\\";
    ctx.m_host.language = "kor";

    ctx.m_target.kind = backup::TargetKind::kDisc;
    fs::create_directories(driveC() + "/QuillonTemp");
    CopyViewerFiles(BeginPass());
    EXPECT_EQ(ReadText(driveC() + "/QuillonTemp/BackupViewer/Viewer.exe"), "viewer program");
    EXPECT_EQ(std::distance(fs::directory_iterator(driveC() + "/QuillonTemp/BackupViewer"),
                            fs::directory_iterator()),
              1);
    ASSERT_TRUE(WriteViewerIni(BeginPass()));
    EXPECT_HAS(ReadText(driveC() + "/QuillonTemp/BackupViewer/Viewer.ini"), "Language=kor");

    // A folder target: the viewer goes to the root of the target's drive.
    const std::string e = out;
    ctx.m_target.kind = backup::TargetKind::kFolder;
    ctx.m_target.text = "E:\\Backup\\Day1";
    CopyViewerFiles(BeginPass());
    EXPECT_EQ(ReadText(e + "/BackupViewer/Viewer.exe"), "viewer program");
    EXPECT_FALSE(fs::exists(e + "/Backup"));

    // A start with the viewer asked for is refused while a file of the list is missing.
    EXPECT_HAS(ViewerFilesProblem(ctx.m_host), "Missing.dll is missing");
    WriteText(base + "/Other/Missing.dll", "library");
    EXPECT_EQ(ViewerFilesProblem(ctx.m_host), "");

    // No list: no empty viewer folder that would pass for a viewer, and the report says so.
    fs::remove(base + "/GUIS/Viewer.lst");
    fs::remove_all(e + "/BackupViewer");
    ctx.m_run.report.Reset();
    CopyViewerFiles(BeginPass());
    EXPECT_FALSE(fs::exists(e + "/BackupViewer"));
    EXPECT_THAT(ctx.m_run.report.failures(), ElementsAre(HasSubstr("Viewer.lst is missing")));
    EXPECT_HAS(ViewerFilesProblem(ctx.m_host), "Viewer.lst is missing");
    EXPECT_TRUE(view.messages.empty());
}

TEST_F(BackupPackageTest, ViewerSettingsFailWhenTheImageFolderCannotBeMade) {
    WriteText(driveC() + "/QuillonTemp", "a file in the way");
    EXPECT_FALSE(WriteViewerIni(BeginPass()));
    ResetViewerOption(ctx.m_view, ctx.m_run);
    EXPECT_TRUE(view.viewerOffered);
    EXPECT_FALSE(view.viewerChosen);
}

TEST_F(BackupPackageTest, CopiesAreExactWhateverTheSizeAndTheVolumeBetween) {
    ctx.m_run.running = 1;
    fs::create_directories(driveC() + "/to");
    // Another volume takes the other means of copying (where a small one can be mounted).
    std::vector<std::string> targets = {"C:\\to\\copy.bin"};
    if (!MountTinyDrive('T', "size=8m").empty())
        targets.push_back("T:\\copy.bin");
    constexpr std::size_t kMiB = std::size_t{1} << 20;
    for (const auto& target : targets) {
        for (std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{8191},
                                 std::size_t{8192}, kMiB - 1, kMiB + 1, 3 * kMiB + 17}) {
            std::string data(size, '\0');
            for (std::size_t i = 0; i < size; ++i)
                data[i] = static_cast<char>(i * 131 % 251);
            WriteText(driveC() + "/from.bin", data);
            ASSERT_TRUE(CopyFileOverlapped(BeginPass(), "C:\\from.bin", target)) << size << target;
            EXPECT_TRUE(ReadText(platform::ResolvePath(target)) == data) << size << target;
        }
    }
    EXPECT_FALSE(CopyFileOverlapped(BeginPass(), "C:\\none.bin", "C:\\to\\x.bin"));
    EXPECT_FALSE(CopyFileOverlapped(BeginPass(), "C:\\from.bin", "C:\\nofolder\\x.bin"));
    EXPECT_THAT(ctx.m_run.report.failures(),
                ElementsAre(StartsWith("The source file could not be opened."),
                            StartsWith("The destination file could not be created.")));
}

TEST_F(BackupPackageTest, AWildcardCopyCountsEveryMatchAndShowsItsName) {
    WriteText(driveC() + "/rec/201005231405N.idx", std::string(2047, 'i'));
    WriteText(driveC() + "/rec/201005231405N.dat", std::string(3 * 1024, 'd'));
    WriteText(driveC() + "/rec/201005231406N.dat", "other minute");
    ctx.m_run.running = 1;
    ctx.m_schedule.totalKB = 8;
    ASSERT_TRUE(CopyFilesToFolder(BeginPass(), "C:\\rec\\201005231405N.*", "C:\\img\\"));
    EXPECT_EQ(ctx.m_run.job->doneSize, 1u + 3u);
    EXPECT_EQ(view.statusText, "[201005231405N.idx] copying");
    EXPECT_EQ(view.progress, (std::vector<int>{37, 50}));
    EXPECT_TRUE(fs::exists(driveC() + "/img/201005231405N.dat"));
    EXPECT_FALSE(fs::exists(driveC() + "/img/201005231406N.dat"));
    EXPECT_FALSE(CopyFilesToFolder(BeginPass(), "C:\\rec\\nothing*", "C:\\img\\"));

    // A folder whose parent is a file: the copy fails and is reported, the loop ends.
    WriteText(driveC() + "/blocker", "x");
    EXPECT_TRUE(CopyFilesToFolder(BeginPass(), "C:\\rec\\201005231405N.*", "C:\\blocker\\sub\\"));
    EXPECT_EQ(ctx.m_run.report.failures().size(), 1u);
    EXPECT_TRUE(view.messages.empty());
}

TEST_F(BackupPackageTest, AFolderThatCannotBeMadeIsTheOneFailureTheOperatorIsShown) {
    WriteText(driveC() + "/rec/201005231405N.idx", "i");
    if (MountTinyDrive('R', "size=64k", true).empty())
        GTEST_SKIP() << "no read-only filesystem can be mounted here";
    ctx.m_run.running = 1;
    EXPECT_FALSE(CopyFilesToFolder(BeginPass(), "C:\\rec\\201005231405N.*", "R:\\img\\"));
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0].text, "The destination folder could not be created.");
    EXPECT_EQ(view.messages[0].caption, "Backup error");
    EXPECT_EQ(view.messages[0].severity, backup::Severity::kError);
}

TEST_F(BackupPackageTest, ProgressPositionsAreTruncatedAndAZeroTotalIsZero) {
    for (const DWORD total : {5000u, 0u}) {
        ctx.m_schedule.totalKB = total;
        backup::PassJob& job = BeginPass();
        job.doneSize = total ? 2499 : 6000;
        backup::UpdatePassProgress(job);
        if (total) {
            job.doneSize = 6000;
            backup::UpdatePassProgress(job);
        }
    }
    EXPECT_EQ(view.progress, (std::vector<int>{49, 120, 0}));
}
