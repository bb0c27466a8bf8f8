// Remote mode through the share client, answered by the recorder side's service over the same
// recordings: the host's records, the day's index, a remote Add, a remote backup equal to a local
// one, the answers that end a run or add nothing, and what the recorder side lets a request do.
// Passes also run while the host sends records and the operator clicks and cancels: each writes
// what was planned at its start, touching the context only on its thread (the sanitizer checks).
#include "backup/remote/RemoteBackup.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <tuple>

#include "BackupFixture.h"
#include "backup/HostMessages.h"
#include "backup/pass/BackupStart.h"
#include "backup/pass/PassEnd.h"
#include "backup/schedule/ScheduleCommands.h"
#include "backup/server/ShareImageStore.h"
#include "backup/server/ShareRequest.h"
#include "backup/server/ShareService.h"
#include "records/HostInfo.h"
#include "share/Has.h"

namespace fs = std::filesystem;

class RemoteBackupTest : public BackupFixture {
  protected:
    void SetUp() override {
        BackupFixture::SetUp();
        RecordDay(600, 604);
        UseLink(false);
    }
    // An entry added over the link: the day's index, then the size, answered.
    void Add(const std::string& sh, const std::string& sm, const std::string& eh,
             const std::string& em, std::vector<int> cams) {
        ctx.m_chooser.SelectBackupDay("20100523");
        ASSERT_TRUE(PumpLink());
        Choose(sh, sm, eh, em, cams);
        ASSERT_EQ(ctx.m_editor.OnAdd(view.range), "");
        ASSERT_TRUE(PumpLink());
    }
    void Run(const std::string& folder) {
        Target("E:\\" + folder);
        const int before = view.Ends();
        ASSERT_EQ(Start(), "");
        ASSERT_TRUE(ServeUntil([&] { return view.Ends() > before; }));
    }
};

TEST_F(RemoteBackupTest, TheDayIndexFillsTheHoursAndCamerasAsALocalScanDoes) {
    ASSERT_TRUE(ctx.m_chooser.SelectBackupDay("20100523"));
    const auto localMap = ctx.m_day.recMap;
    const auto localHours = view.timeRows[backup::TimeField::kStartHour];
    std::vector<DWORD> localCams(ctx.m_day.camExist, ctx.m_day.camExist + 64);
    GoRemote();
    ctx.m_chooser.SelectBackupDay("20100523");
    // Nothing of the day is known before the answer.
    EXPECT_TRUE(
        std::all_of(ctx.m_day.camExist, ctx.m_day.camExist + 64, [](DWORD f) { return !f; }));
    ASSERT_TRUE(PumpLink());
    EXPECT_EQ(view.timeRows[backup::TimeField::kStartHour], localHours);
    EXPECT_EQ(view.timeRows[backup::TimeField::kEndHour], localHours);
    EXPECT_EQ(ctx.m_day.recMap, localMap);
    EXPECT_EQ(std::vector<DWORD>(ctx.m_day.camExist, ctx.m_day.camExist + 64), localCams);
    EXPECT_EQ(ctx.m_day.existCamCount, 4);

    // A day without recordings still replaces the tables and empties the hours.
    ctx.m_chooser.SelectBackupDay("20100524");
    ASSERT_TRUE(PumpLink());
    EXPECT_TRUE(view.timeRows[backup::TimeField::kStartHour].empty());
    EXPECT_EQ(ctx.m_day.existCamCount, 0);
    EXPECT_EQ(client->connects, 1);  // one link for the same address and port
}

TEST_F(RemoteBackupTest, ARemoteBackupToAFolderEqualsTheLocalBackupOfTheSameSchedule) {
    Add("10", "00", "10", "01", {0, 1, 2, 3});
    Add("10", "02", "10", "04", {1, 2});
    const auto localSizes =
        std::make_pair(ctx.m_schedule.table[0].nSize, ctx.m_schedule.table[1].nSize);
    const DWORD localTotal = ctx.m_schedule.totalKB;
    Run("Local");
    ASSERT_EQ(view.passesEnded, 1);

    GoRemote();
    Add("10", "00", "10", "01", {0, 1, 2, 3});
    EXPECT_EQ(view.activity, backup::Activity::kIdle);  // the answer gave the dialog back
    Add("10", "02", "10", "04", {1, 2});
    ASSERT_EQ(view.listRows.size(), 2u);
    EXPECT_EQ(std::make_pair(ctx.m_schedule.table[0].nSize, ctx.m_schedule.table[1].nSize),
              localSizes);
    EXPECT_EQ(ctx.m_schedule.totalKB, localTotal);
    client->ClearSteps();
    Run("Remote");

    EXPECT_EQ(view.messages.back().text, ctx.m_prompts.Text("BACKUP", "M010014"));
    const auto local = ImageBelow(out + "/Local"), remote = ImageBelow(out + "/Remote");
    EXPECT_GT(local.size(), 10u);
    EXPECT_EQ(remote, local);
    // Per entry: the image asked for, its download file by file, the recorder's copy deleted.
    std::vector<std::string> shape;
    for (const std::string& step : client->Steps())
        if (step != "file" || shape.empty() || shape.back() != "file")
            shape.push_back(step);
    EXPECT_EQ(shape, (std::vector<std::string>{"image", "download", "file", "delete", "image",
                                               "download", "file", "delete"}));
    EXPECT_EQ(client->deleted,
              (std::vector<std::string>{"C:\\NetBackupTemp\\2010_05_23=10,00~10,01",
                                        "C:\\NetBackupTemp\\2010_05_23=10,02~10,04"}));
    EXPECT_FALSE(fs::exists(driveC() + "/NetBackupTemp/2010_05_23=10,00~10,01"));
    EXPECT_TRUE(view.listRows.empty());
    EXPECT_FALSE(ctx.m_run.running);
}

// A size of zero, or none because the recorder could not be asked (the link's reason is then
// in the box): the Add is over, nothing added, the dialog given back.
TEST_F(RemoteBackupTest, ASizeOfZeroOrNoneAddsNothingAndGivesTheDialogBack) {
    GoRemote();
    ctx.m_chooser.SelectBackupDay("20100523");
    ASSERT_TRUE(PumpLink());
    const std::string why = "the entry's size failed: the server cannot be reached";
    for (const bool zero : {true, false}) {
        SCOPED_TRACE(zero ? "size zero" : "no size");
        Choose("10", "00", "10", "01", {0});
        ASSERT_EQ(ctx.m_editor.OnAdd(view.range), "");
        EXPECT_EQ(view.activity, backup::Activity::kPass);  // busy until the answer
        EXPECT_EQ(view.statusText, ctx.m_prompts.Text("BACKUP", "M010015"));
        client->zeroSizes = zero;
        client->trouble = zero ? "" : why;
        ASSERT_TRUE(PumpLink());
        EXPECT_EQ(view.messages.back().text,
                  zero ? "Add schedule size zero(0)."
                       : ctx.m_prompts.Text("BACKUP", "Q010009") + "\n" + why);
        EXPECT_EQ(view.activity, backup::Activity::kIdle);
        EXPECT_TRUE(view.listRows.empty());
        EXPECT_FALSE(ctx.m_schedule.table[0].bUsed);
        EXPECT_EQ(ctx.m_schedule.totalKB, 0u);
    }
}

// The entry's folders are looked at when it is asked for, and again when its files are ready: a
// link put in place of its day folder meanwhile takes nothing out of the target.
TEST_F(RemoteBackupTest, ALinkPutInPlaceOfAnEntrysFolderBeforeItsDownloadTakesNothingOut) {
    const std::string outside = prefix() + "/outside";
    fs::create_directories(outside);
    const auto meddled = std::make_shared<bool>(false);  // the client may outlive this body
    client->beforeDownload = [this, meddled, outside] {
        if (*meddled)
            return;
        *meddled = true;
        const std::string day = Day("2010_05_23=10,00~10,01", "Remote");
        fs::remove_all(day);
        fs::create_directory_symlink(outside, day.substr(0, day.size() - 1));
    };
    GoRemote();
    Add("10", "00", "10", "01", {0});
    Run("Remote");
    ASSERT_TRUE(*meddled);
    EXPECT_TRUE(fs::is_empty(outside));
    ASSERT_FALSE(ctx.m_run.report.Failures().empty());
    const PassFailure failure = ctx.m_run.report.Failures()[0];
    EXPECT_EQ(failure.entry, "2010_05_23=10,00~10,01");
    EXPECT_EQ(failure.what.rfind("nothing was copied: ", 0), 0u) << failure.what;
    EXPECT_TRUE(ctx.m_run.report.stopped());
    EXPECT_EQ(view.listRows.size(), 1u);  // the entry stays for the next run
}

// A minute the recorder lost after the entry was planned is lost to every run: the entry is
// fetched without it, and ends as a local pass's would, named and kept in the schedule.
TEST_F(RemoteBackupTest, AMinuteGoneFromTheRecorderIsFetchedWithoutAndTheEntryKept) {
    GoRemote();
    Add("10", "00", "10", "02", {1, 2});
    Add("10", "03", "10", "04", {1, 2});
    fs::remove(driveC() + "/QorData/20100523/201005231001N.dat");
    fs::remove(driveC() + "/QorData/20100523/201005231001N.idx");
    const int ended = view.passesEnded;
    Run("Remote");
    EXPECT_EQ(view.passesEnded, ended + 1);  // the outcome is the window's to show
    const std::string outcome =
        PassOutcomeText(ctx.m_prompts, ctx.m_run.report, ctx.m_schedule, ctx.m_host.dateType);
    EXPECT_HAS(outcome, "2010-05-23 - 10:00 ~ 10:02: minute 10:01 not copied");
    const EntryOutcome entry = ctx.m_run.report.Entry(0);
    EXPECT_FALSE(entry.complete);
    EXPECT_TRUE(entry.recordingDamaged);
    EXPECT_TRUE(ctx.m_run.report.EntryComplete(1));
    const std::string day = out + "/Remote/2010_05_23=10,00~10,02/20100523/";
    EXPECT_TRUE(fs::exists(day + "201005231000N.dat"));
    EXPECT_FALSE(fs::exists(day + "201005231001N.dat"));
    EXPECT_TRUE(fs::exists(day + "201005231002N.dat"));
    EXPECT_TRUE(fs::exists(out + "/Remote/2010_05_23=10,03~10,04/20100523/201005231004N.dat"));
    EXPECT_FALSE(fs::exists(driveC() + "/NetBackupTemp/2010_05_23=10,00~10,02"));
    EXPECT_EQ(view.listRows, std::vector<std::string>{"2010-05-23 - 10:00 ~ 10:02"});
    EXPECT_EQ(ctx.m_schedule.table[0].bPending, 0u);  // fetched, if without its minute
    EXPECT_FALSE(ctx.m_run.running);
}

// Also: a run over, broken off or fetched, holds nothing open on its target (the window stays,
// and the operator ejects the stick).
TEST_F(RemoteBackupTest, ARunThatBrokeOffIsFetchedWholeTheNextTimeOverItsHalfWrittenFiles) {
    GoRemote();
    Add("10", "00", "10", "01", {0, 1});
    client->dropDownloads = true;
    Run("Remote");
    EXPECT_EQ(view.messages.back().text,
              ctx.m_prompts.Text("BACKUP", "M010012") + "\nthe link was lost");
    EXPECT_EQ(OpenHandlesBelow(out), std::vector<std::string>{});
    const std::string day = out + "/Remote/2010_05_23=10,00~10,01/20100523/";
    WriteText(day + ".201005231000N.dat.77-1.quillon-part", "half");  // a killed download's
    client->dropDownloads = false;
    Run("Remote");
    EXPECT_EQ(view.messages.back().text, ctx.m_prompts.Text("BACKUP", "M010014"));
    EXPECT_TRUE(fs::exists(day + "201005231000N.dat"));
    EXPECT_FALSE(fs::exists(day + ".201005231000N.dat.77-1.quillon-part"));
    EXPECT_EQ(OpenHandlesBelow(out), std::vector<std::string>{});
}

// The MP4 files of each entry, asked for as the pass goes: what they were told of the clock.
class ClockOfVideos : public ports::IEntryVideo {
  public:
    Made MakeEntryVideo(const Request& request) override {
        std::lock_guard<std::mutex> lock(m_);
        clocks.push_back(request.clock);
        return {};
    }
    std::vector<ports::MeasuredClock> Clocks() {
        std::lock_guard<std::mutex> lock(m_);
        return clocks;
    }

  private:
    std::mutex m_;
    std::vector<ports::MeasuredClock> clocks;
};

// A pass measures the recorder's clock once, before its first entry's MP4 files: every entry's
// files and the report give the same figures. A local recorder's clock is this machine's: the
// link is not asked, and the offset is none.
TEST_F(RemoteBackupTest, APassMeasuresTheClockOnceAndItsMp4FilesAndReportStateTheSameFigures) {
    ClockOfVideos videos;
    ctx.m_run.video = &videos;
    const auto runWithMp4 = [&](const std::string& folder) {
        Target("E:\\" + folder);
        const int before = view.Ends();
        StartOptions options;
        options.mp4 = true;
        ASSERT_TRUE(ctx.m_starter.OnOK(options).done());
        worker.Start(ctx.m_run.job);
        ASSERT_TRUE(ServeUntil([&] { return view.Ends() > before; }));
    };
    client->clock = {true, 12.25, 0.125, ""};
    Add("10", "00", "10", "00", {0});
    runWithMp4("Local");
    ASSERT_EQ(videos.Clocks().size(), 1u);
    const ports::MeasuredClock local = videos.Clocks()[0];
    EXPECT_NE(local.method, "link");
    EXPECT_EQ(local.offsetSeconds, 0);
    EXPECT_HAS(ReadText(out + "/Local/report.json"), "\"method\": \"" + local.method + "\"");
    EXPECT_EQ(client->clockMeasures, 0);

    GoRemote();
    Add("10", "00", "10", "01", {0, 1});
    Add("10", "02", "10", "04", {2});
    runWithMp4("Remote");
    EXPECT_EQ(view.messages.back().text, ctx.m_prompts.Text("BACKUP", "M010014"));
    EXPECT_EQ(client->clockMeasures, 1);
    const std::vector<ports::MeasuredClock> clocks = videos.Clocks();
    ASSERT_EQ(clocks.size(), 3u);
    for (std::size_t i = 1; i < clocks.size(); ++i)
        EXPECT_EQ(
            std::tuple(clocks[i].method, clocks[i].offsetSeconds, clocks[i].uncertaintySeconds),
            std::tuple("link", 12.25, 0.125))
            << i;
    const std::string report = ReadText(out + "/Remote/report.json");
    EXPECT_HAS(report, "\"method\": \"link\"");
    EXPECT_HAS(report, "\"offset_seconds\": 12.250000");
    EXPECT_HAS(report, "\"uncertainty_seconds\": 0.125000");
}

// The host's messages: its record puts the session in remote mode with the host's context, read
// within the block's bounds; the drive list names the roots from D: on; a download's first record
// shows its progress and each later one moves it and names the file.
using HostRecordTest = BackupFixture;

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
        OnDownloadProgress(ctx.m_link, ctx.m_target, ctx.m_prompts, view,
                           ReadDownloadProgress(progress));
    };
    send();  // the first sets the bar up
    EXPECT_EQ(view.meter, backup::Meter::kProgress);
    EXPECT_TRUE(view.progress.empty());
    send();
    EXPECT_EQ(view.progress, std::vector<int>{25});
    EXPECT_EQ(view.statusText, app.GetLanguageText("BACKUP", "M010011") + " [201005231000N.dat]");
}

TEST(ShareRequestTest, AnImageRequestOutsideTheScheduleOrOneDayIsRefused) {
    _BACKUPMAKEIMAGE good{};
    good.nSlot = kScheduleSlots - 1;
    SetKeys(good.entry, "201005231000", "201005231001");
    EXPECT_EQ(ImageRequestProblem(good), "");
    const auto refused = [&](int slot, const char* start, const char* end) {
        _BACKUPMAKEIMAGE r = good;
        r.nSlot = slot;
        SetKeys(r.entry, start, end);
        return ImageRequestProblem(r) == kNotAnEntryOfOneDay;
    };
    EXPECT_TRUE(refused(kScheduleSlots, "201005231000", "201005231001"));
    EXPECT_TRUE(refused(-1, "201005231000", "201005231001"));
    EXPECT_TRUE(refused(0, "201005231000", "201005241001"));  // two days
    EXPECT_TRUE(refused(0, "201005231001", "201005231000"));  // backwards
    EXPECT_TRUE(refused(0, "20100523100x", "201005231001"));
    EXPECT_TRUE(refused(0, "2010052310", "2010052310"));
}

TEST(ShareRequestTest, ASizeRequestIsDigitsAndCountsNoMoreCamerasThanARecorderHas) {
    _BACKUPADDTOTALSIZE request{};
    std::memcpy(request.szDay, "20100523", 8);
    std::memcpy(request.szStart, "1000", 4);
    std::memcpy(request.szEnd, "1001", 4);
    EXPECT_TRUE(SizeRequestWellFormed(request));
    request.nCamCount = 1000;
    EXPECT_EQ(SizeRequestHost(ServedHost("C:\\QorData", 4, 0x670), request).camCount, kMaxCameras);
    EXPECT_EQ(ServedHost("C:\\QorData", 1000, 0x670).camCount, kMaxCameras);
    request.szEnd[3] = ' ';
    EXPECT_FALSE(SizeRequestWellFormed(request));
}

class ShareImageStoreTest : public TempPrefixTest {};

TEST_F(ShareImageStoreTest, ImagesBeingFetchedKeepTheirShareOfTheDiskAndServedFilesTakeNone) {
    ShareImageStore::Limits limits;
    limits.keepFree = 0;
    limits.keptShare = 1e-12;  // no two images fit beside each other
    ShareImageStore store(limits);
    EXPECT_EQ(store.MakeRoom(1000000), "");  // the first alone
    ShareImage served;
    served.entry = "2010_05_23=10,00~10,01";
    served.files.push_back({"201005231000N.dat", 1000000, "", "C:\\QorData\\x", {}});
    store.Keep(served, "", "");
    EXPECT_EQ(store.MakeRoom(0), "");  // served from the recordings: nothing of the disk
    ShareImage written = served;
    written.files.front().source.clear();
    store.Keep(written, "/built", "");
    EXPECT_HAS(store.MakeRoom(0), "past the share of its disk kept for images");
}

TEST_F(ShareImageStoreTest,
       AFileServedFromTheRecordingsIsTheCopysOnceTheCopyHasItAndOnlyOurPathsAreRemoved) {
    const std::string entry = "2010_05_23=10,00~10,01";
    ShareImageStore store({});
    store.Begin(entry, "", "");  // a direct listing that gave up after its first file
    store.Add(entry, {"201005231000N.dat", 1, "", "/rec/201005231000N.dat", {}});
    store.Begin(entry, "/built", "");
    EXPECT_EQ(store.ImageFilePath(entry, "201005231000N.dat"), "/rec/201005231000N.dat");
    store.Replace(entry, "/built", {"201005231000N.dat", 1, "", "", {}});
    EXPECT_EQ(store.ImageFilePath(entry, "201005231000N.dat"), "/built/201005231000N.dat");
    EXPECT_EQ(ShareImageStore::EntryOf("C:\\NetBackupTemp\\" + entry), entry);
    EXPECT_EQ(ShareImageStore::EntryOf("D:\\NetBackupTemp\\" + entry), "");
}

TEST_F(ShareImageStoreTest, AnImageLeftBehindGivesWayToAnotherClientsBuildOfItsEntry) {
    ShareImage image;
    image.entry = "2010_05_23=10,00~10,01";
    ShareImageStore busy({});
    busy.Keep(image, "", "a");
    EXPECT_HAS(busy.Claim(image.entry, "b"), "another client");
    EXPECT_HAS(busy.Claim(image.entry, ""), "another client");
    // Its own client asks again only when it lost what it had: the image gives way.
    EXPECT_EQ(busy.Claim(image.entry, "a"), "");
    ShareImageStore anonymous({});
    anonymous.Keep(image, "", "");
    EXPECT_HAS(anonymous.Claim(image.entry, ""), "another client");
    ShareImageStore::Limits left;
    left.abandonAfter = std::chrono::milliseconds(0);
    ShareImageStore idle(left);
    idle.Keep(image, "", "a");
    EXPECT_EQ(idle.Claim(image.entry, "b"), "");
}

using ShareServiceTest = BackupFixture;

TEST_F(ShareServiceTest, OneClientsImageIsNotReplacedUnderItAndLeftoversGoAtStart) {
    RecordDay(600, 601, 0, 2);
    const std::string temp = driveC() + "/NetBackupTemp/";
    WriteText(temp + "2010_05_22=09,00~09,01/20100522/x.dat", "left");
    ShareService::Settings settings;
    settings.storageRoot = "C:\\QorData";
    settings.cameras = 2;
    ShareService server(settings);
    EXPECT_FALSE(fs::exists(temp + "2010_05_22=09,00~09,01"));

    _BACKUPMAKEIMAGE request{};
    request.nSlot = 0;
    request.entry.bUsed = 1;
    request.entry.bAllCam = 1;
    SetKeys(request.entry, "201005231000", "201005231001");
    std::atomic<bool> cancel{false};
    const auto make = [&](const std::string& id) {
        return server.MakeImage(request, nullptr, cancel, nullptr, nullptr, id);
    };
    const std::string a(32, 'a'), b(32, 'b');
    const ShareService::Image first = make(a);
    ASSERT_EQ(first.problem, "");
    ASSERT_FALSE(first.files.empty());
    const ShareService::Image second = make(b);
    EXPECT_HAS(second.problem, "another client");
    EXPECT_EQ(second.entry, "");
    EXPECT_NE(server.ImageFilePath(first.entry, first.files[0].name), "");  // still whole
    // Asked again by its own client (killed, it lost what it had), the image is built anew.
    const ShareService::Image again = make(a);
    EXPECT_EQ(again.problem, "");
    ASSERT_FALSE(again.files.empty());
    EXPECT_NE(server.ImageFilePath(again.entry, again.files[0].name), "");
    EXPECT_TRUE(server.DeleteTemp("C:\\NetBackupTemp\\" + again.entry));
    EXPECT_EQ(make(b).problem, "");
}

TEST_F(ShareServiceTest, ABuildCancelledWhileItCopiesLeavesNoFolderBehind) {
    RecordDay(600, 603, 0);
    ShareService::Settings settings;
    settings.storageRoot = "C:\\QorData";
    ShareService server(settings);
    _BACKUPMAKEIMAGE request{};
    request.entry.bCam[0] = 1;  // one camera: copied, not served from the recordings
    SetKeys(request.entry, "201005231000", "201005231003");
    std::atomic<bool> cancel{false};
    const ShareService::Image image = server.MakeImage(
        request, [&](const std::string&, auto, auto) { cancel = true; }, cancel);
    EXPECT_TRUE(image.cancelled);
    ASSERT_NE(image.entry, "");
    EXPECT_FALSE(fs::exists(driveC() + "/NetBackupTemp/" + image.entry));
}

namespace {

// What the host sends while a pass runs: another camera count, date type and model, and no base
// folder (the working folder stays where the schedule is).
std::string HostRecord(int round) {
    HostInfo info;
    info.dateType = round % 2 ? 4 : 1;
    info.camCount = round % 2 ? 16 : 8;
    info.port = 7000 + round;
    info.recorderKind = 4;
    info.modelCode = 0x1648D + round;
    info.language = "eng";
    info.serverAddress = "127.0.0.1";
    info.today = "20100601";
    return EncodeHostInfo(info);
}

}  // namespace

class PassDuringMeddlingTest : public BackupFixture {
  protected:
    void SetUp() override {
        BackupFixture::SetUp();
        RecordDay(600, 611);
        OwnPassEnds();
    }
    // One round of what the host and the operator do while the pass runs, on the window's
    // thread: a host record, clicks on the cameras and pages, a new time range.
    void Meddle(int round) {
        const std::string record = HostRecord(round);
        OnHostRecord(ctx.m_host, ctx.m_profile, ctx.m_link, record, true);
        ctx.m_chooser.OnSelectAllCameras();
        ctx.m_chooser.OnCameraBox(round % 4);
        ctx.m_chooser.OnNextPage();
        ctx.m_chooser.OnPrevPage();
        ctx.m_chooser.SetTimeRange({"10", "01", "10", "03"});
    }
    // Meddles until done; cancelAt > 0 cancels (answered Yes) in that round.
    int MeddleUntil(const std::function<bool()>& done, int cancelAt = 0) {
        int round = 0;
        EXPECT_TRUE(ServeUntil(done, [&] {
            Meddle(++round);
            if (round == cancelAt) {
                EXPECT_TRUE(CancelRunningBackup(ctx.m_run, ctx.m_host, ctx.m_link, ctx.m_prompts));
            }
        }));
        return round;
    }
    // A pass over the link of one entry of 10:00 to 10:11 of cams, begun onto E:\Remote.
    void StartRemote(const std::vector<int>& cams) {
        UseLink(true);
        ctx.m_chooser.SelectBackupDay("20100523");
        ASSERT_TRUE(PumpLink());
        Choose("10", "00", "10", "11", cams);
        ASSERT_EQ(ctx.m_editor.OnAdd(view.Range()), "");
        ASSERT_TRUE(PumpLink());
        ASSERT_EQ(ctx.m_schedule.rows.size(), 1u);
        Target("E:\\Remote");
        boxes = view.boxes;
        ASSERT_EQ(Start(), "");
    }
    static std::string Minute(int m) {
        char name[32];
        std::snprintf(name, sizeof name, "2010052310%02dN.dat", m);
        return name;
    }
    int boxes = 0;  // before the pass began
};

TEST_F(PassDuringMeddlingTest, AFolderPassWritesItsPlanWhateverTheHostAndTheOperatorDoMeanwhile) {
    Add("10", "00", "10", "11", {});
    Add("10", "02", "10", "05", {1, 3});
    Target();
    worker.StartMakeFileThread();
    ASSERT_EQ(Start(), "");
    const int rounds = MeddleUntil([&] { return view.ended.load(); });
    EXPECT_GT(rounds, 0);
    EXPECT_EQ(owner.served, 1);  // the end of the pass ran on the window's thread
    // Every minute of both entries, under the names the plan gave them, and nothing else.
    for (int m = 0; m <= 11; ++m) {
        EXPECT_TRUE(fs::exists(Day("2010_05_23=10,00~10,11") + Minute(m))) << m;
        EXPECT_EQ(fs::exists(Day("2010_05_23=10,02~10,05") + Minute(m)), m >= 2 && m <= 5) << m;
    }
    EXPECT_TRUE(ctx.m_run.report.ok())
        << (ctx.m_run.report.failures().empty() ? std::string()
                                                : ctx.m_run.report.failures().front());
    EXPECT_EQ(Sha256sumCheck(out + "/Backup"), 0);
    // The host's record took effect for the window, and the schedule is done with.
    EXPECT_EQ(ctx.m_host.localMode, 0);
    EXPECT_TRUE(ctx.m_schedule.rows.empty());
}

TEST_F(PassDuringMeddlingTest, ARemotePassFetchesItsPlanWhileRecordsAndClicksArrive) {
    ASSERT_NO_FATAL_FAILURE(StartRemote({0, 1, 2, 3}));
    // The answers are served on this thread between rounds, as the window's loop serves them.
    MeddleUntil([&] { return view.boxes > boxes; });
    for (int m = 0; m <= 11; ++m)
        EXPECT_TRUE(fs::exists(Day("2010_05_23=10,00~10,11", "Remote") + Minute(m))) << m;
    EXPECT_TRUE(ctx.m_run.report.ok());
    EXPECT_EQ(Sha256sumCheck(out + "/Remote"), 0);
}

TEST_F(PassDuringMeddlingTest, ARemotePassCancelledAtOnceEndsWithItsEntryKept) {
    ASSERT_NO_FATAL_FAILURE(StartRemote({0, 1}));
    // The cancel is asked before the worker's first step can have handed its entry over; the
    // question, then the end of the run.
    MeddleUntil([&] { return view.boxes > boxes + 1; }, 1);
    EXPECT_FALSE(ctx.m_run.running);
    EXPECT_TRUE(ctx.m_run.report.stopped());
    EXPECT_EQ(ctx.m_schedule.rows.size(), 1u);
}
